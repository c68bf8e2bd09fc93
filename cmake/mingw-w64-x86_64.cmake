# Cross-compiles q58 for 64-bit Windows with Debian's MinGW-w64 toolchain
# (package g++-mingw-w64-x86-64):
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#   cmake --build build-windows
#
# The executables are linked statically, so q58.exe needs no MinGW DLLs on
# the target machine. When wine is installed, the tests run under it.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(Q58_MINGW_TRIPLET x86_64-w64-mingw32)

# The "posix" thread model variant gives libstdc++ its full <thread> and
# <mutex>, which GoogleTest expects; q58 itself is single-threaded.
find_program(CMAKE_C_COMPILER NAMES ${Q58_MINGW_TRIPLET}-gcc-posix ${Q58_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${Q58_MINGW_TRIPLET}-g++-posix ${Q58_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${Q58_MINGW_TRIPLET}-windres windres REQUIRED)

# Libraries and headers come from the MinGW sysroot only; build tools from
# the host.
set(CMAKE_FIND_ROOT_PATH /usr/${Q58_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLLs beside the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Lets CTest (add_test with a target name) start the Windows programs.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(Q58_WINE NAMES wine wine64 NO_CMAKE_FIND_ROOT_PATH)
  if(Q58_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${Q58_WINE})
  endif()
endif()
