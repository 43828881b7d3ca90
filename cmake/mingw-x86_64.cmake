# The same program built for 64-bit Windows. Used to run the tests where the
# machine cannot execute 32-bit code (some virtual machines lack the 32-bit
# compatibility mode that wine32 needs); the source is the same.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

find_program(WINE_LOADER NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(WINE_LOADER NAMES wine64)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_LOADER})
