# The Debian package (scripts/package.sh): everything `cmake --install` puts under the prefix,
# installed under /usr, with the binaries stripped.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tonbrook)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tonbrook")
set(CPACK_PACKAGE_CONTACT
  "Tonbrook maintainers <maintainers@users.noreply.c-seed-2e2a29e7.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Matches the version of dist/debian/changelog.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/tonbrook/tonbrook)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "extract the audio of video files as MP3
Tonbrook takes the audio out of video files and saves it as MP3. Drop videos
or whole folders on its window: every file is inspected, can be tuned on its
own (bitrate, sample rate, channels, peak or loudness normalisation, trim,
fades, tags, cover art, audio track) and is converted in a batch, a few at a
time.
.
The package also holds tonbrook-cli, a command-line front end over the same
conversion queue, with JSON output for scripts and a mode that splits one
conversion over the tasks of a Slurm job array or a Kubernetes Indexed Job.")

# Shared libraries the programs link come from dpkg-shlibdeps; what they load at run time
# is named here: the QML modules the views import, the Qt platform plugins (the window has
# no other way onto the screen), Qt Multimedia's FFmpeg back end the preview player plays
# through (in libqt6multimedia6), and the freedesktop sound theme libcanberra plays the
# batch's event sounds from.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qml6-module-qtquick, qml6-module-qtqml, qml6-module-qtqml-models, \
qml6-module-qtqml-workerscript, qml6-module-qtquick-controls, \
qml6-module-qtquick-templates, qml6-module-qtquick-layouts, qml6-module-qtquick-window, \
qml6-module-qt-labs-platform, qt6-qpa-plugins, libqt6multimedia6, libcanberra0, \
sound-theme-freedesktop")
# The desktop's own file pickers: without these themes Qt's file dialog widgets stand in, so
# the app works, but looks foreign.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "qt6-xdgdesktopportal-platformtheme, qt6-gtk-platformtheme")

include(CPack)
