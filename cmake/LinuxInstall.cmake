# The Linux installation: `cmake --install` puts the program in bin/, the
# default picture and sound and a commented sample settings file in
# share/zettelblick/ (the data folder the program recognises an installation
# by), the manual page and the README; `cpack` packs the same as a Debian
# package.
include(GNUInstallDirs)

# The sample settings file for Linux: the Windows release's sample with Linux
# line ends and the sentences about folders that differ.
set(zb_sample_source ${CMAKE_SOURCE_DIR}/platform/win32/zettelblick.ini)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${zb_sample_source})
file(READ ${zb_sample_source} zb_sample)
string(REPLACE "\r\n" "\n" zb_sample "${zb_sample}")
# (Each text is one argument: the comments' semicolons must not split it.)
function(zb_sample_replace from to)
    string(FIND "${zb_sample}" "${from}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${zb_sample_source} no longer holds: ${from}")
    endif()
    string(REPLACE "${from}" "${to}" replaced "${zb_sample}")
    set(zb_sample "${replaced}" PARENT_SCOPE)
endfunction()
zb_sample_replace(
    "; Where the program reads its settings file:\n; - Portable (zettelblick.exe in a folder you can write, say one you\n;   unzipped in your home): this file, beside zettelblick.exe.\n; - Installed (from the MSI package into C:\\Program Files\\Zettelblick, or\n;   any folder you cannot write): your own copy,\n;   %APPDATA%\\Zettelblick\\zettelblick.ini. The file beside the program is\n;   then only this sample: copy it to %APPDATA%\\Zettelblick\\ (make that\n;   folder) and change the copy. Without a copy the program makes the file\n;   when it first writes the window's position.\n"
    "; An installed program reads ~/.config/zettelblick/zettelblick.ini (the folder\n; $XDG_CONFIG_HOME/zettelblick when that is set), a portable one the file\n; beside the program: copy this sample there. Without a copy the program\n; makes the file when it first writes the window's position.\n")
zb_sample_replace(
    "It lies beside the\n; program (portable) or in %LOCALAPPDATA%\\Zettelblick\\ (installed)."
    "It lies beside the\n; program (portable) or in $XDG_RUNTIME_DIR/zettelblick (installed).")
zb_sample_replace("; Command line: zettelblick.exe " "; Command line: zettelblick ")
zb_sample_replace("read NAME.ini (in the same folder) instead of this file"
                  "read NAME.ini in this file's folder instead")
zb_sample_replace(
    "; Picture file (JPEG, BMP, PNG, GIF or ICO), looked for in the settings\n; file's folder, then beside the program; a missing file stops the program\n; with an error report.\n"
    "; Picture file (JPEG, BMP, PNG, GIF or ICO): a portable program takes it from\n; its own folder; an installed one from this file's folder, else beside the\n; program, else from its data folder (/usr/share/zettelblick for /usr/bin).\n; A missing file stops the program with an error report.\n")
zb_sample_replace(
    "; WAV file played when the window appears, looked for in the settings file's\n; folder, then beside the program; empty (file=) for no sound. A missing file\n; is reported in a message box.\n"
    "; WAV file played when the window appears, looked for as the picture is;\n; empty (file=) for no sound. A missing file is reported in a message box.\n")
set(ZB_LINUX_SAMPLE_INI ${CMAKE_BINARY_DIR}/share/zettelblick.ini)
file(CONFIGURE OUTPUT ${ZB_LINUX_SAMPLE_INI} CONTENT "${zb_sample}" @ONLY)

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
              ${ZB_LINUX_SAMPLE_INI}
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
