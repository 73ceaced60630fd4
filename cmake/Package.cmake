# A Debian package of what `install` lays out:
#   cmake --build build --target package   ->  build/vardelo_<version>_amd64.deb
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vardelo)
set(CPACK_PACKAGE_VENDOR Vardelo)
set(CPACK_PACKAGE_CONTACT "Vardelo developers" CACHE STRING "The package's Maintainer field")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Downloads a queue of file-host links one after the other")
set(CPACK_PACKAGE_DESCRIPTION
    "Vardelo downloads a queue of file-host links the way a free user does by hand: it opens each link's page in an embedded browser, submits the free-user form, waits out the waiting time, fetches the file, logs the outcome, retries failed links and goes on unattended. Its texts are Hungarian.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://vardelo.hu/")
# Libraries from dpkg-shlibdeps; the icon is drawn by a plugin no library names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")

# Sending links from the web browser: the native messaging host (a script the
# browsers start, which runs `vardelo --native-messaging`) and its manifests
# in the system folders of Chromium, Google Chrome and Firefox. The manifests
# name the host by its packaged path.
include(GNUInstallDirs)
set(VARDELO_NATIVE_HOST_DIR ${CMAKE_INSTALL_LIBEXECDIR}/vardelo)
set(VARDELO_NATIVE_HOST ${CPACK_PACKAGING_INSTALL_PREFIX}/${VARDELO_NATIVE_HOST_DIR}/vardelo-native-host)
file(RELATIVE_PATH VARDELO_PROGRAM_FROM_HOST ${CMAKE_INSTALL_FULL_LIBEXECDIR}/vardelo
     ${CMAKE_INSTALL_FULL_BINDIR}/vardelo)
set(VARDELO_PROGRAM "\${0%/*}/${VARDELO_PROGRAM_FROM_HOST}")
set(VARDELO_NATIVE_HOST_SOURCE ${PROJECT_SOURCE_DIR}/browser/native-host)
set(VARDELO_NATIVE_HOST_BUILT ${CMAKE_BINARY_DIR}/native-host)
configure_file(${VARDELO_NATIVE_HOST_SOURCE}/vardelo-native-host.in
               ${VARDELO_NATIVE_HOST_BUILT}/vardelo-native-host @ONLY)
foreach(browser chromium firefox)
    configure_file(${VARDELO_NATIVE_HOST_SOURCE}/io.github.vardelo.vardelo.${browser}.json.in
                   ${VARDELO_NATIVE_HOST_BUILT}/${browser}/io.github.vardelo.vardelo.json @ONLY)
endforeach()
install(PROGRAMS ${VARDELO_NATIVE_HOST_BUILT}/vardelo-native-host
        DESTINATION ${VARDELO_NATIVE_HOST_DIR})
foreach(folder /etc/chromium/native-messaging-hosts /etc/opt/chrome/native-messaging-hosts)
    install(FILES ${VARDELO_NATIVE_HOST_BUILT}/chromium/io.github.vardelo.vardelo.json
            DESTINATION ${folder})
endforeach()
install(FILES ${VARDELO_NATIVE_HOST_BUILT}/firefox/io.github.vardelo.vardelo.json
        DESTINATION /usr/lib/mozilla/native-messaging-hosts)
# Manifests in /etc are the administrator's to edit.
file(WRITE ${VARDELO_NATIVE_HOST_BUILT}/conffiles
     "/etc/chromium/native-messaging-hosts/io.github.vardelo.vardelo.json\n"
     "/etc/opt/chrome/native-messaging-hosts/io.github.vardelo.vardelo.json\n")
list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${VARDELO_NATIVE_HOST_BUILT}/conffiles)

include(CPack)
