# Install layout and the Debian package (cpack -G DEB).
include(GNUInstallDirs)
install(TARGETS tavtool arbora-data-update RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/arbora-data-update.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/arbora-data-update.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages and the changelog are installed compressed, as Debian's policy asks (gzip -9n:
# no name or time stamp, so the package is reproducible).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(packaging_compressed)
foreach(source man/tavtool.1 man/arbora-data-update.1 changelog)
  get_filename_component(name ${source} NAME)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
                     COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_CURRENT_LIST_DIR}/${source} > ${compressed}
                     DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${source} VERBATIM)
  list(APPEND packaging_compressed ${compressed})
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${packaging_compressed})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/tavtool.1.gz ${CMAKE_CURRENT_BINARY_DIR}/packaging/arbora-data-update.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(package_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/arbora-data-update)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${package_doc_dir})

set(CPACK_PACKAGE_NAME "arbora-data-update")
set(CPACK_PACKAGE_VENDOR "Orvane")
set(CPACK_PACKAGE_VERSION "1.0.0")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Vexa Arbora learning-unit update and import")
# Lines of at most 80 characters, as Debian's description format asks.
set(CPACK_PACKAGE_DESCRIPTION
    "Upgrades an encrypted learning unit (.tav) of the Vexa Arbora desktop
application to the current layout and imports it into the account's personal
library: its folder tree, literature, reading state, attachments, notes and
labels.
.
arbora-data-update is the dialog the desktop application starts for one unit;
tavtool is the console front end, which also inspects units and lists, shows
and removes library entries.")
set(CPACK_PACKAGE_CONTACT "Orvane <support@orvane.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_STRIP_FILES ON)
# Library dependencies come from dpkg-shlibdeps. Named here what is loaded at run time: the Qt
# plugins (the window system, the SVG icon) and Qt's Chinese texts for its standard buttons and
# file dialog.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei")
include(CPack)
