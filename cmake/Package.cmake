# `cpack` (or `make package` at the top) turns the install tree into a Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vx-clackon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VX-Clackon! developers")
set(CPACK_PACKAGE_CONTACT "VX-Clackon! developers <vx-clackon@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "typing game with a scrolling line of keys")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The long description; CPack indents it and turns the empty line into Debian's " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "VX-Clackon! is a typing game for the desktop. A line of random keyboard
characters scrolls across a narrow strip from the right; type them in order
before they slip off the left edge.

Every key is judged Perfect, Great, Good or Miss by how soon it follows the
one before, with points, combos, a life gauge, spoken sound cues and animated
banners. A hidden mode masks part of the strip, so the characters must be
remembered. Each round ends with a score tally and a plain-text report.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the linker cannot see: the fonts the game draws with, Qt's platform plugins (X11 and
# Wayland) and its SVG plugin for the icon.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-ipafont-gothic, fonts-liberation2, qt6-qpa-plugins, qt6-wayland, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")

# Debian wants these in the documentation folder; the changelog compressed like a manual page.
# The version has no Debian revision, so the package is native and its changelog is changelog.gz.
set(vx_docdir ${CMAKE_INSTALL_DATADIR}/doc/vx-clackon)
add_custom_command(OUTPUT changelog.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/doc/debian/changelog > changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/debian/changelog
    VERBATIM)
add_custom_target(debian-changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/doc/debian/copyright DESTINATION ${vx_docdir})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${vx_docdir})

include(CPack)
