# 32-bit Linux programs (g++ -m32, Debian's multilib packages), run through
# qemu-user: the portable code's size_t and overflow faults of 32-bit builds
# show here, on machines whose kernels run no 32-bit program themselves.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
# The 32-bit C and C++ libraries of the multilib packages; qemu finds the
# loader (/lib/ld-linux.so.2) on the host.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static)
