# Cross-compiling the i686 test programs and tools with mingw-w64: the posix
# thread model, which GoogleTest needs (std::mutex). The stub in this build
# is the shipping one, built on its own with mingw-i686.cmake (src/stub.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
set(SETUP_STUB_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
