# The .deb: pxr7, its manual page, bash completion, udev rule and documents. Its dependencies
# come from the program's shared libraries (dpkg-shlibdeps), so it depends on libftdi1 when the
# libftdi1 backend is built in, and FTDI's D2XX library, loaded at run time, is no dependency.
set(PXR7_PACKAGE_MAINTAINER "PXR7 developer <dev@pxr7.invalid>"
    CACHE STRING "Maintainer field of the .deb: name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PXR7_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION
    "pxr7 finds the PXR7 meters connected through their FTDI FT232R USB leads,
shows their software version and upgrades their firmware with the image it
carries. It also keeps the settings in the lead's EEPROM right.
.
It drives the lead through FTDI's D2XX library, which is not part of this
package, or through the open-source libftdi1. A udev rule gives the logged-in
user access to the lead.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/postinst ${CMAKE_CURRENT_LIST_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# lintian finds nothing at its default level. At info level (-I) it names
# binary-has-unneeded-section .comment: CPack's strip keeps the compiler's version string, which
# dh_strip would drop. Harmless, and not worth a strip step of our own.

# Debian wants a copyright file and a changelog beside the documents. The copyright file
# carries the licence from LICENSE, in Debian's machine-readable format.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE license_lines REGEX "^Copyright \\(c\\) ")
string(REGEX REPLACE "^Copyright \\(c\\) " "" PXR7_COPYRIGHT "${license_lines}")
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n\n" "" license "${license}")
string(REGEX REPLACE "\n$" "" license "${license}")
string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " PXR7_LICENSE_TEXT " ${license}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in copyright @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

# The changelog is made from CHANGELOG.md at build time; it refuses a CHANGELOG.md whose newest
# entry is not this version.
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog)
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND ${CMAKE_COMMAND} -DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md
          -DVERSION=${PROJECT_VERSION} -DMAINTAINER=${PXR7_PACKAGE_MAINTAINER}
          -DOUTPUT=${changelog} -P ${CMAKE_CURRENT_LIST_DIR}/debian-changelog.cmake
  COMMAND gzip -n -9 -f ${changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_LIST_DIR}/debian-changelog.cmake
  VERBATIM)
add_custom_target(pxr7_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright ${changelog}.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
