# Cross-builds velmora for 64-bit Windows with Debian's mingw-w64 and runs its programs under wine:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#   cmake --build build-win -j2 && ctest --test-dir build-win
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix flavour of the compiler: its libstdc++ has std::thread and friends; the win32 flavour lacks them.
set(VELMORA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMORA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the C++ runtime and winpthread into each program, so that the .exe files run without MinGW DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest and the tests' own child runs go through wine. The programs run under code page 932, the ANSI
# code page of the Japanese desktops velmora is made for: wine takes its code page from LC_CTYPE, so the
# ja_JP.UTF-8 locale must be generated (scripts/test-windows.sh does it).
find_program(VELMORA_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
set(VELMORA_WINE_LOCALE ja_JP.UTF-8 CACHE STRING "Locale the programs run in under wine; sets their ANSI code page")
if(VELMORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env LC_ALL=${VELMORA_WINE_LOCALE} ${VELMORA_WINE})
endif()
