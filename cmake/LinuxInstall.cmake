# The Linux installation: `cmake --install` puts the program in bin/, the
# default picture and sound and a commented sample settings file in
# share/zettelblick/ (the data folder the program recognises an installation
# by), the manual page and the README; `cpack` packs the same as a Debian
# package.
include(GNUInstallDirs)

# Manual pages are installed compressed.
set(zb_man_page ${CMAKE_BINARY_DIR}/share/zettelblick.1.gz)
add_custom_command(
    OUTPUT ${zb_man_page}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/docs/zettelblick.1 ${zb_man_page}
    DEPENDS ${CMAKE_SOURCE_DIR}/docs/zettelblick.1
    COMMENT "Compressing the manual page"
    VERBATIM)
add_custom_target(zb_man_page ALL DEPENDS ${zb_man_page})

install(TARGETS zettelblick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/assets/thebat.jpg ${CMAKE_SOURCE_DIR}/assets/message.wav
              ${ZB_SAMPLE_INI_LINUX}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zettelblick)
install(FILES ${zb_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zettelblick)

# The Debian package: dpkg-shlibdeps finds the libraries the program links
# (Qt 6, xcb), which bring the X platform plugin and the picture decoders
# along. libcanberra is loaded at run time, so it is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zettelblick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Zettelblick developers <zettelblick@example.invalid>")
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
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcanberra0")
# The sound server's client, the alert sound for unplayable files, and the
# metric-compatible font for Arial.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcanberra-pulse, sound-theme-freedesktop, fonts-liberation")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/dist)
include(CPack)
