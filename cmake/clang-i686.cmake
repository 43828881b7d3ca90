# 32-bit Windows with clang: see clang-mingw.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)

find_program(WINE_LOADER NAMES wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_LOADER})
