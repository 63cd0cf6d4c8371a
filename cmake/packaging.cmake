# Debian packages, made by CPack from the install components:
#   Runtime     -> libulvex0     the shared object
#   Development -> libulvex-dev  headers, the libulvex.so link, CMake package, pkg-config file
#   Tool        -> ulvex         the command-line tool, its manual page and bash completion
# scripts/package.sh configures a Release build installed under /usr with
# ULVEX_DEBIAN_DOCS=ON and runs cpack; see docs/packaging.md.

option(ULVEX_DEBIAN_DOCS "Install the copyright and changelog files every Debian package carries" OFF)

set(ULVEX_DEB_RELEASE 1)
set(ULVEX_DEB_VERSION ${PROJECT_VERSION}-${ULVEX_DEB_RELEASE})
set(ULVEX_DEB_CONTACT "libulvex developers <libulvex@example.org>")
find_program(ULVEX_GZIP gzip REQUIRED)

# --- the tool's manual page and bash completion -------------------------------
if(TARGET ulvex_tool)
  # Compressed reproducibly (no name, no time stamp), as Debian ships manual pages.
  set(ULVEX_MAN_GZ ${PROJECT_BINARY_DIR}/ulvex.1.gz)
  add_custom_command(OUTPUT ${ULVEX_MAN_GZ}
    COMMAND ${ULVEX_GZIP} -9nc ${PROJECT_SOURCE_DIR}/docs/ulvex.1 > ${ULVEX_MAN_GZ}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/ulvex.1 VERBATIM)
  add_custom_target(ulvex_man ALL DEPENDS ${ULVEX_MAN_GZ})
  install(FILES ${ULVEX_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Tool)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/completion/ulvex
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT Tool)
endif()

# --- the files Debian wants in /usr/share/doc/<package> ------------------------
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
if(ULVEX_DEBIAN_DOCS)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog.Debian @ONLY)
  execute_process(COMMAND ${ULVEX_GZIP} -9nc ${PROJECT_BINARY_DIR}/debian/changelog.Debian
    OUTPUT_FILE ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
  foreach(pair IN ITEMS Runtime:libulvex0 Development:libulvex-dev Tool:ulvex)
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  endforeach()
endif()

# --- CPack -------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME libulvex)
set(CPACK_PACKAGE_VENDOR "libulvex developers")
set(CPACK_PACKAGE_CONTACT ${ULVEX_DEB_CONTACT})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description starts with its own synopsis line: a summary equal
# to CPack's default keeps CPack from putting a shared one in front of it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
if(TARGET ulvex_tool)
  list(APPEND CPACK_COMPONENTS_ALL Tool)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ULVEX_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies on the C and C++ runtime come from dpkg-shlibdeps; it finds
# libulvex.so.0 in the build tree (its package is named explicitly below).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
# The ABI only grows, so anything built against this version runs on later ones.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libulvex0)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "library framing named tags in byte buffers
libulvex frames named pieces of data (tags) inside byte buffers, in a binary
and a text form, and finds every valid record again in any buffer, passing
over garbage, damaged and cut records. It has a C++ and a C interface.
This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libulvex-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libulvex0 (= ${ULVEX_DEB_VERSION})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "library framing named tags in byte buffers - development files
libulvex frames named pieces of data (tags) inside byte buffers, in a binary
and a text form, and finds every valid record again in any buffer, passing
over garbage, damaged and cut records.
This package holds the C and C++ headers, the CMake package and the
pkg-config file.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ulvex)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libulvex0 (>= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_TOOL_DESCRIPTION "inspect, extract, pack and convert tag records
ulvex lists the tag records a file or a pipe holds, summarises them,
follows a growing capture file, extracts one record's payload, frames bytes
as a record and converts between the binary and the text form.")

include(CPack)
