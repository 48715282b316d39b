# Binary packages of an installed tree, made with cpack in a Release build:
#   Linux:   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
#              -DCMAKE_INSTALL_PREFIX=/usr -DRAZIVERA_TESTS=OFF -DRAZIVERA_EXAMPLES=OFF
#            cmake --build build-release && (cd build-release && cpack -G DEB)
#   Windows: (cd build-win32 && cpack -G ZIP), likewise build-win64
set(RAZIVERA_PACKAGE_CONTACT "RAZIVERA developers <razivera@invalid>"
  CACHE STRING "Maintainer named in the binary packages")

set(CPACK_PACKAGE_NAME razivera)
set(CPACK_PACKAGE_VENDOR "RAZIVERA developers")
set(CPACK_PACKAGE_CONTACT ${RAZIVERA_PACKAGE_CONTACT})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "library and tool for polysomnography recordings (VOZO-PSG files)")
set(CPACK_PACKAGE_DESCRIPTION
  "RAZIVERA creates, writes, reads and edits polysomnography recordings stored in the VOZO-PSG File Format: records of wave information, channel definitions, the waveform as frames of 16-bit samples, events, scores and texts. This package holds the shared library, its C header, a CMake package and a pkg-config file for programs that link it, and the razivera command-line tool (demo recordings, info, dump, verify, EDF+ export and import).")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # One archive per architecture, unpacked anywhere: bin/RAZIVERA.dll,
  # lib/libRAZIVERA.dll.a, lib/RAZIVERA.def, include/, and the CMake and
  # pkg-config files, which find the tree from their own place.
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(RZ_PACKAGE_ARCH win64)
  else()
    set(RZ_PACKAGE_ARCH win32)
  endif()
  set(CPACK_PACKAGE_FILE_NAME RAZIVERA-${PROJECT_VERSION}-${RZ_PACKAGE_ARCH})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The C library and the C++ runtime, as dpkg-shlibdeps finds them in the
  # binaries (needs dpkg-dev).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # A shlibs file for the library and the ldconfig trigger that registers it.
  # Programs built against 1.x need 1.x or later.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
endif()

include(CPack)
