# `cpack -G DEB` in the build folder (make package): the files `cmake --install` puts in place,
# under /usr, with the Debian packages they need found by dpkg-shlibdeps plus the Qt plug-ins that
# are loaded at run time and so are invisible to it.
set(CPACK_PACKAGE_NAME tindralume)
set(CPACK_PACKAGE_VENDOR "The Tindralume developers")
# No one reads mail for the project: the reserved .invalid domain says so where an address is required.
set(CPACK_PACKAGE_CONTACT "The Tindralume developers <tindralume@tindralume.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Clipboard history manager for X11 desktops")
set(CPACK_PACKAGE_DESCRIPTION "Keeps every copied text, rich text, link, image and file in a searchable
history and brings it up in a panel on a global hot key.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libqt6svg6: the SVG icon engine and image plug-ins draw the symbols.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-image-formats-plugins, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")

# Debian policy: /usr/share/doc/tindralume holds the copyright, machine-readable and made from LICENSE
# (its copyright line and its text), and a changelog, also in `make install`'s tree.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE license_lines)
set(license_text "")
set(license_holder "")
foreach(line IN LISTS license_lines)
    if(line MATCHES "^Copyright \\(c\\) (.+)$")
        set(license_holder "${CMAKE_MATCH_1}")
    elseif(license_holder AND NOT (line STREQUAL "" AND license_text STREQUAL ""))
        if(line STREQUAL "")
            set(line ".")
        endif()
        string(APPEND license_text " ${line}\n")
    endif()
endforeach()
set(doc_dir ${CMAKE_CURRENT_BINARY_DIR}/doc)
file(WRITE ${doc_dir}/copyright
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: Tindralume\n\n"
     "Files: *\nCopyright: ${license_holder}\nLicense: Expat\n${license_text}")
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${doc_dir}/changelog
     "tindralume (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Version ${PROJECT_VERSION}; the changes are in the project's version history.\n\n"
     " -- ${CPACK_PACKAGE_CONTACT}  ${changelog_date}\n")
execute_process(COMMAND gzip -9nc ${doc_dir}/changelog OUTPUT_FILE ${doc_dir}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
include(GNUInstallDirs)
install(FILES ${doc_dir}/copyright ${doc_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tindralume)

include(CPack)
