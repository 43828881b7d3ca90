# Cross compiling for Windows with clang and lld, against the MinGW-w64
# headers and libraries and the libstdc++ of Debian's MinGW-w64 GCC: a second
# compiler's look at the code (scripts/clang), not the product. Included by
# clang-x86_64.cmake and clang-i686.cmake, which set the processor.
set(CMAKE_SYSTEM_NAME Windows)
set(triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_RC_COMPILER ${triple}-windres)

# clang 14 looks for GCC's libstdc++ and start files in lib/gcc/<triple>/<version>,
# and takes Debian's folder, named "12-posix", for no version: it then finds
# no libstdc++ headers, and links without GCC's crtbegin.o, so that on 32-bit
# Windows, where exceptions unwind with the tables crtbegin.o registers, no
# exception is ever caught. A root of links in the build folder names the
# folder by its version.
if(NOT DEFINED APPUNTELLO_CLANG_ROOT)
  set(APPUNTELLO_CLANG_ROOT ${CMAKE_BINARY_DIR}/clang-root)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES APPUNTELLO_CLANG_ROOT)
file(GLOB gcc_dirs /usr/lib/gcc/${triple}/*-posix)
list(GET gcc_dirs 0 gcc_dir)
get_filename_component(gcc_version ${gcc_dir} NAME)
string(REGEX REPLACE "-posix$" "" gcc_version ${gcc_version})
if(NOT IS_SYMLINK ${APPUNTELLO_CLANG_ROOT}/${triple})
  file(MAKE_DIRECTORY ${APPUNTELLO_CLANG_ROOT}/lib/gcc/${triple})
  file(CREATE_LINK ${gcc_dir} ${APPUNTELLO_CLANG_ROOT}/lib/gcc/${triple}/${gcc_version} SYMBOLIC)
  file(CREATE_LINK /usr/${triple} ${APPUNTELLO_CLANG_ROOT}/${triple} SYMBOLIC)
endif()
set(CMAKE_SYSROOT ${APPUNTELLO_CLANG_ROOT})
# The posix variant of libstdc++ needs the posix thread library.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -pthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -pthread")

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
