# What `cmake --install` puts under the prefix, laid out by GNUInstallDirs:
#   bin/                     razivera (POSIX), RAZIVERA.dll (Windows)
#   lib/ (or lib/<triplet>)  libRAZIVERA.so.1.0.0 with its links, or the
#                            import library libRAZIVERA.dll.a and RAZIVERA.def
#   lib/cmake/RAZIVERA/      the CMake package: find_package(RAZIVERA 1.0)
#   lib/pkgconfig/           razivera.pc
#   include/                 razivera.h, razivera_codes.h and razivera_version.h
# The tool installs itself from tools/CMakeLists.txt.
include(CMakePackageConfigHelpers)

set(RZ_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/RAZIVERA)

install(TARGETS RAZIVERA EXPORT RAZIVERATargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/razivera.h ${PROJECT_SOURCE_DIR}/include/razivera_codes.h ${RZ_GENERATED_INCLUDE}/razivera_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(WIN32)
  # For toolchains that make their own import library from the module
  # definition (lib /def:RAZIVERA.def, or dlltool).
  install(FILES ${RZ_DEF_FILE} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

# The CMake package: the imported target RAZIVERA::RAZIVERA carries the include
# directory.  Paths inside it are relative to the package file, so the tree
# may be moved (an unpacked Windows archive, a staging directory).
install(EXPORT RAZIVERATargets NAMESPACE RAZIVERA:: DESTINATION ${RZ_CMAKE_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/RAZIVERAConfig.cmake.in
  ${PROJECT_BINARY_DIR}/RAZIVERAConfig.cmake INSTALL_DESTINATION ${RZ_CMAKE_PACKAGE_DIR})
# A program written against 1.x works with any later 1.y: the soname changes
# with the major version only.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/RAZIVERAConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/RAZIVERAConfig.cmake ${PROJECT_BINARY_DIR}/RAZIVERAConfigVersion.cmake
  DESTINATION ${RZ_CMAKE_PACKAGE_DIR})

# pkg-config: the prefix is found from the .pc file's own place, for the same
# reason.
set(RZ_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE ${CMAKE_INSTALL_LIBDIR} OR IS_ABSOLUTE ${CMAKE_INSTALL_INCLUDEDIR})
  message(FATAL_ERROR "razivera.pc needs CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR relative to the prefix")
endif()
file(RELATIVE_PATH RZ_PKGCONFIG_TO_PREFIX /prefix/${RZ_PKGCONFIG_DIR} /prefix)
string(REGEX REPLACE "/$" "" RZ_PKGCONFIG_TO_PREFIX ${RZ_PKGCONFIG_TO_PREFIX})
configure_file(${CMAKE_CURRENT_LIST_DIR}/razivera.pc.in ${PROJECT_BINARY_DIR}/razivera.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/razivera.pc DESTINATION ${RZ_PKGCONFIG_DIR})
