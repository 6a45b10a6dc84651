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

# Debian wants a copyright file and a changelog beside the documents. The changelog has one
# entry, for the version being built, dated the day of the configure run (SOURCE_DATE_EPOCH
# if set): no time of day, so configuring again the same day changes nothing.
string(TIMESTAMP PXR7_CHANGELOG_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in changelog @ONLY)
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -n -9 -k -f changelog
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  VERBATIM)
add_custom_target(pxr7_changelog ALL DEPENDS ${changelog})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})
