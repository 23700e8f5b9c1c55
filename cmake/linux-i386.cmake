# 32-bit Linux programs (g++ -m32, Debian's multilib packages): the portable
# code's size_t and overflow faults of 32-bit builds show here. They run
# directly where the kernel runs 32-bit programs, else through qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
# Does the kernel run them? A static one tells (asked once per build folder).
if(NOT DEFINED SETUP_I386_RUNS_NATIVELY)
  set(probe ${CMAKE_CURRENT_BINARY_DIR}/i386-probe)
  file(WRITE ${probe}.c "int main(void) { return 0; }\n")
  execute_process(COMMAND gcc -m32 -static ${probe}.c -o ${probe}
    RESULT_VARIABLE built OUTPUT_QUIET ERROR_QUIET)
  set(runs OFF)
  if(built EQUAL 0)
    execute_process(COMMAND ${probe} RESULT_VARIABLE ran OUTPUT_QUIET ERROR_QUIET)
    if(ran EQUAL 0)
      set(runs ON)
    endif()
  endif()
  file(REMOVE ${probe} ${probe}.c)
  set(SETUP_I386_RUNS_NATIVELY ${runs} CACHE BOOL "this kernel runs 32-bit programs")
endif()
if(NOT SETUP_I386_RUNS_NATIVELY)
  # The 32-bit C and C++ libraries of the multilib packages; qemu finds the
  # loader (/lib/ld-linux.so.2) on the host.
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static)
endif()
