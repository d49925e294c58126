# `cpack -G DEB` in the build folder (make package): the files `cmake --install` puts in place,
# under /usr, with the Debian packages they need found by dpkg-shlibdeps plus the Qt plug-ins that
# are loaded at run time and so are invisible to it.
set(CPACK_PACKAGE_NAME tindralume)
set(CPACK_PACKAGE_VENDOR "The Tindralume developers")
set(CPACK_PACKAGE_CONTACT "The Tindralume developers <tindralume@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Clipboard history manager for X11 desktops")
set(CPACK_PACKAGE_DESCRIPTION "Keeps every copied text, rich text, link, image and file in a searchable history and brings it up in a panel on a global hot key.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libqt6svg6: the SVG icon engine and image plug-ins draw the symbols.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-image-formats-plugins, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
