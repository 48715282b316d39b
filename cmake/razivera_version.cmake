# The version macros of the public header, generated from the project version
# so that the number is written in one place only (project() in the top-level
# CMakeLists.txt).  Both the library's project and the fuzz project include
# this file.
set(RZ_VERSION_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/razivera_version.h.in)
set(RZ_TOP_LISTS ${CMAKE_CURRENT_LIST_DIR}/../CMakeLists.txt)

# Sets <var> to the version named by project(RAZIVERA VERSION ...), for a
# project of its own (the fuzz targets) that builds the library's sources.
function(razivera_project_version var)
  file(STRINGS ${RZ_TOP_LISTS} lines REGEX "^project\\(RAZIVERA VERSION ")
  if(NOT lines MATCHES "VERSION ([0-9]+\\.[0-9]+\\.[0-9]+)")
    message(FATAL_ERROR "No project(RAZIVERA VERSION x.y.z) in ${RZ_TOP_LISTS}")
  endif()
  set(${var} ${CMAKE_MATCH_1} PARENT_SCOPE)
  # A new version there configures this project again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${RZ_TOP_LISTS})
endfunction()

# Writes <dir>/razivera_version.h for version "major.minor.patch".
function(razivera_version_header dir version)
  if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "The library version must read major.minor.patch, not '${version}'")
  endif()
  set(RZ_VERSION ${version})
  set(RZ_VERSION_MAJOR ${CMAKE_MATCH_1})
  set(RZ_VERSION_MINOR ${CMAKE_MATCH_2})
  set(RZ_VERSION_PATCH ${CMAKE_MATCH_3})
  configure_file(${RZ_VERSION_TEMPLATE} ${dir}/razivera_version.h @ONLY)
endfunction()
