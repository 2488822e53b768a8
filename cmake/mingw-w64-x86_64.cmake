# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers
# (packages g++-mingw-w64-x86-64-posix and mingw-w64):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Every executable is linked statically, so arcdig.exe and the test programs
# need no DLL beside them. When wine is installed, test programs run through
# it (CMAKE_CROSSCOMPILING_EMULATOR), so CTest works from the Linux side.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ARCDIG_MINGW_TRIPLE x86_64-w64-mingw32)
# The "posix" flavour provides std::thread and friends.
set(CMAKE_C_COMPILER ${ARCDIG_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ARCDIG_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ARCDIG_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ARCDIG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No runtime DLLs (libstdc++, libgcc, winpthread) beside the executables.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  # Debian's wine64 keeps its loader in wine's library folder, not on PATH.
  find_program(ARCDIG_WINE64 NAMES wine64 wine
               PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_CMAKE_FIND_ROOT_PATH)
  if(ARCDIG_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ARCDIG_WINE64})
  endif()
endif()
