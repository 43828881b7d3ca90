# 64-bit Windows with clang: see clang-mingw.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)

find_program(WINE_LOADER NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(WINE_LOADER NAMES wine64)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_LOADER})
