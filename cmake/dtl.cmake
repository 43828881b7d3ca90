# dtl, the diff of note texts (Debian's libdtl-dev, header only, BSD), seen through a folder of
# the build's own that holds only dtl/: the cross compilers must not see the build machine's
# /usr/include. Sets APPUNTELLO_DTL_INCLUDE to that folder. Included by CMakeLists.txt and by
# tests/native/CMakeLists.txt.
#
# The copy differs from dtl in one header. variables.hpp includes <iostream> for dtl's printers,
# which the program never calls; with GCC 12 that include alone puts a static ios_base::Init
# object into the file, and the whole of iostream into the program. The copy includes <ostream>,
# and the printers' default stream, std::cout, becomes a declaration of dtl's own that nothing
# defines: a printer called without a stream fails to link instead of bringing iostream back.
find_path(DTL_INCLUDE_DIR dtl/dtl.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          DOC "The folder that holds dtl/ (Debian's libdtl-dev)")
if(NOT DTL_INCLUDE_DIR)
  message(FATAL_ERROR "dtl not found: install libdtl-dev (scripts/setup does), "
                      "or set DTL_INCLUDE_DIR to the folder that holds dtl/")
endif()

# In `text`, `from` replaced by `to`; a dtl whose header does not hold `from` stops the build.
macro(dtl_replace from to)
  string(FIND "${text}" "${from}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${header} has no '${from}': a dtl this build does not know")
  endif()
  string(REPLACE "${from}" "${to}" text "${text}")
endmacro()

set(APPUNTELLO_DTL_INCLUDE ${CMAKE_BINARY_DIR}/dtl-include)
file(GLOB dtl_headers ${DTL_INCLUDE_DIR}/dtl/*.hpp)
foreach(header ${dtl_headers})
  get_filename_component(name ${header} NAME)
  if(name STREQUAL "variables.hpp")
    file(READ ${header} text)
    dtl_replace("#include <iostream>" "#include <ostream>")
    dtl_replace("using std::cout;" "extern ostream cout;")
    # Written beside and copied only when it differs, so that a new configuration rebuilds nothing.
    file(WRITE ${CMAKE_BINARY_DIR}/dtl-variables.hpp "${text}")
    configure_file(${CMAKE_BINARY_DIR}/dtl-variables.hpp ${APPUNTELLO_DTL_INCLUDE}/dtl/${name} COPYONLY)
  else()
    configure_file(${header} ${APPUNTELLO_DTL_INCLUDE}/dtl/${name} COPYONLY)
  endif()
endforeach()
