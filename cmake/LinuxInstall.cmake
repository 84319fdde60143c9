# The Linux installation: `cmake --install` puts the program in bin/, the
# default picture and sound and a commented sample settings file in
# share/zettelblick/ (the data folder the program recognises an installation
# by), the manual page and the README; `cpack` packs the same as a Debian
# package.
include(GNUInstallDirs)

# The package's documentation (Debian policy 12.5, 12.7): the licence as a
# machine-readable copyright file, made from LICENSE (its copyright line; its
# text indented by one blank, an empty line as " ."), and the changelog.
set(CPACK_PACKAGE_CONTACT "Zettelblick developers <zettelblick@example.invalid>")
file(READ ${CMAKE_SOURCE_DIR}/LICENSE zb_license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" zb_copyright_line "${zb_license}")
set(ZB_COPYRIGHT "${CMAKE_MATCH_1}")
string(FIND "${zb_license}" "Permission is hereby granted" zb_license_start)
string(SUBSTRING "${zb_license}" ${zb_license_start} -1 zb_license_body)
string(STRIP "${zb_license_body}" zb_license_body)
string(REPLACE "\n\n" "\n.\n" zb_license_body "${zb_license_body}")
string(REPLACE "\n" "\n " zb_license_body " ${zb_license_body}")
set(ZB_LICENSE_BODY "${zb_license_body}")
set(zb_copyright ${CMAKE_BINARY_DIR}/share/copyright)
configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/copyright.in ${zb_copyright} @ONLY)

# Manual pages and changelogs are installed compressed.
set(zb_man_page ${CMAKE_BINARY_DIR}/share/zettelblick.1.gz)
add_custom_command(
    OUTPUT ${zb_man_page}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/docs/zettelblick.1 ${zb_man_page}
    DEPENDS ${CMAKE_SOURCE_DIR}/docs/zettelblick.1
    COMMENT "Compressing the manual page"
    VERBATIM)
add_custom_target(zb_man_page ALL DEPENDS ${zb_man_page})
set(zb_changelog ${CMAKE_BINARY_DIR}/share/changelog.gz)
add_custom_command(
    OUTPUT ${zb_changelog}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/cmake/debian/changelog
            ${zb_changelog}
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/debian/changelog
    COMMENT "Compressing the changelog"
    VERBATIM)
add_custom_target(zb_changelog ALL DEPENDS ${zb_changelog})

install(TARGETS zettelblick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/assets/thebat.jpg ${CMAKE_SOURCE_DIR}/assets/message.wav
              ${ZB_SAMPLE_INI_LINUX}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zettelblick)
install(FILES ${zb_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${zb_copyright} ${zb_changelog}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zettelblick)
# The README's pictures, where its links find them.
install(FILES ${CMAKE_SOURCE_DIR}/docs/screenshots/default.png
              ${CMAKE_SOURCE_DIR}/docs/screenshots/tool-window.png
              ${CMAKE_SOURCE_DIR}/docs/screenshots/frameless.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zettelblick/docs/screenshots)

# The Debian package: dpkg-shlibdeps finds the libraries the program links
# (Qt 6, xcb), which bring the X platform plugin and the picture decoders
# along. libcanberra is loaded at run time, so it is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zettelblick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "small notifier for mail filters and scripts: picture, message and sound")
set(CPACK_PACKAGE_DESCRIPTION
    "Another program (a mail client's filter rule, a script, a scheduler) starts\n\
it; it shows a small window with a picture and a message, sounds a tone and a\n\
WAV file, and closes when clicked (optionally starting a program) or after a\n\
set time. Its look and behaviour come from an INI settings file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time: libcanberra for the sound, GIO (libglib2.0-0) for the
# desktop's GSettings.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcanberra0, libglib2.0-0")
# The sound server's client, the alert sound for unplayable files, and the
# metric-compatible font for Arial.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcanberra-pulse, sound-theme-freedesktop, fonts-liberation")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/dist)
include(CPack)
