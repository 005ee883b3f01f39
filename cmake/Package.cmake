# The Debian package: `cpack -G DEB` in a build folder configured with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/package does it all). Dependencies
# are worked out by dpkg-shlibdeps from the programs' shared libraries.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME newsgleaner)
# As the programs print it (V2.6k).
set(CPACK_PACKAGE_VERSION 2.6k)
set(CPACK_PACKAGE_VENDOR "The Newsgleaner developers")
set(CPACK_PACKAGE_CONTACT "The Newsgleaner developers <developers@newsgleaner.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "harvest pictures from Usenet newsgroups")
set(CPACK_PACKAGE_DESCRIPTION
    "Newsgleaner downloads the pictures posted to the newsgroups you choose. It walks
the groups over NNTP, fetches the articles that arrived since the last pass and
pass its filters, decodes their uuencoded or base64 JPEG attachments into files
and remembers what it saved.

The package holds the desktop program (newsgleaner), the headless pass for
scheduled runs (newsgleaner-pass) and a systemd user service and timer for it.")
# The units and the menu entry name the programs by their installed paths.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION news)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://newsgleaner.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
