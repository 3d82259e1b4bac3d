# Cross build for 64-bit Windows with Debian's mingw-w64 compilers (the posix thread model, which
# std::thread and std::mutex need). The runtime is linked statically, so each .exe runs alone: no
# libstdc++, libgcc or winpthread DLL has to travel with it.
#
# Host programs use the same file: cmake -DCMAKE_TOOLCHAIN_FILE=.../mingw-w64.cmake -DCMAKE_PREFIX_PATH=...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw_triple}-windres)

# Libraries and packages come from the target's tree and the prefixes given; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
