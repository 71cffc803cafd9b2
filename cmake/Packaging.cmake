# Installing and the Debian package: the program in bin, its skins and help in
# share/quillbar, the desktop entry, icons, metainfo, man page and the files Debian asks for.
include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(qb_resources ${PROJECT_SOURCE_DIR}/resources)
set(qb_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillbar)

install(TARGETS quillbar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${qb_resources}/skins/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/quillbar/skins)
install(FILES ${qb_resources}/quillbar.html DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/quillbar)
install(FILES ${PROJECT_SOURCE_DIR}/docs/demo.png DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/quillbar
        RENAME quillbar-demo.png)
install(FILES ${qb_resources}/quillbar.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${qb_resources}/quillbar.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo RENAME org.norvane.Quillbar.metainfo.xml)
set(qb_icons ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
install(FILES ${qb_resources}/icons/quillbar.svg DESTINATION ${qb_icons}/scalable/apps)
foreach(size 16 32 48 64 128 256)
    install(FILES ${qb_resources}/icons/quillbar-${size}.png
            DESTINATION ${qb_icons}/${size}x${size}/apps RENAME quillbar.png)
endforeach()

# Debian wants the man page and the changelog compressed, reproducibly.
set(CPACK_PACKAGE_CONTACT "Quillbar developers <quillbar@example.org>")
string(TIMESTAMP QB_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${qb_resources}/debian/changelog.in ${PROJECT_BINARY_DIR}/package/changelog @ONLY)
set(qb_compressed ${PROJECT_BINARY_DIR}/package/quillbar.1.gz
    ${PROJECT_BINARY_DIR}/package/changelog.gz)
add_custom_command(OUTPUT ${qb_compressed}
    COMMAND gzip -9n -c ${qb_resources}/quillbar.1 > ${PROJECT_BINARY_DIR}/package/quillbar.1.gz
    COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/package/changelog
            > ${PROJECT_BINARY_DIR}/package/changelog.gz
    DEPENDS ${qb_resources}/quillbar.1 ${PROJECT_BINARY_DIR}/package/changelog)
add_custom_target(qb_package_files ALL DEPENDS ${qb_compressed})
add_dependencies(quillbar qb_package_files)
install(FILES ${PROJECT_BINARY_DIR}/package/quillbar.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/package/changelog.gz ${qb_resources}/debian/copyright
        DESTINATION ${qb_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mail ticker that announces new mail on a thin bar")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quillbar watches one or more POP3 or IMAP mailboxes, fetches only the headers
of new messages and announces every unread message as a button on a thin bar
docked to the top or bottom edge of the desktop. From the bar the user opens a
message list, reads a message with its attachments, and marks messages read or
deletes them on the server.")
include(CPack)
