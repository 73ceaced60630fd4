# A Debian package of what `install` lays out:
#   cmake --build build --target package   ->  build/vardelo_<version>-1_amd64.deb
include(GNUInstallDirs)

set(VARDELO_MAINTAINER "Vardelo developers <vardelo@users.noreply.github.com>")
set(VARDELO_DEB_RELEASE 2)
set(VARDELO_DEB_VERSION ${PROJECT_VERSION}-${VARDELO_DEB_RELEASE})

# The manual page and the package's changelog, compressed as Debian wants
# them: at most, and without a time stamp that would change every build.
set(VARDELO_DOC_BUILD ${CMAKE_BINARY_DIR}/doc)
function(vardelo_gzip_configured source name)
    configure_file(${source} ${VARDELO_DOC_BUILD}/${name} @ONLY)
    execute_process(COMMAND gzip -9nf ${VARDELO_DOC_BUILD}/${name} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "gzip ${name}: ${failed}")
    endif()
endfunction()
vardelo_gzip_configured(${PROJECT_SOURCE_DIR}/data/vardelo.1.in vardelo.1)
vardelo_gzip_configured(${PROJECT_SOURCE_DIR}/data/changelog.Debian.in changelog.Debian)

install(FILES ${VARDELO_DOC_BUILD}/vardelo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright ${VARDELO_DOC_BUILD}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vardelo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vardelo)
set(CPACK_PACKAGE_VENDOR Vardelo)
set(CPACK_PACKAGE_CONTACT "${VARDELO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VARDELO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VARDELO_DEB_RELEASE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Downloads a queue of file-host links one after the other")
set(CPACK_PACKAGE_DESCRIPTION
    "Vardelo downloads a queue of file-host links the way a free user does by
hand: it opens each link's page in an embedded browser, submits the
free-user form, waits out the waiting time, fetches the file, logs the
outcome, retries failed links and goes on unattended. Its texts are
Hungarian.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
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
install(FILES ${VARDELO_NATIVE_HOST_BUILT}/chromium/io.github.vardelo.vardelo.json
        DESTINATION /etc/chromium/native-messaging-hosts)
install(FILES ${VARDELO_NATIVE_HOST_BUILT}/firefox/io.github.vardelo.vardelo.json
        DESTINATION /usr/lib/mozilla/native-messaging-hosts)
# Chrome's folder lies under /etc/opt, which no package owns: the package
# carries the manifest in its own folder and postinst lays it there.
install(FILES ${VARDELO_NATIVE_HOST_BUILT}/chromium/io.github.vardelo.vardelo.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vardelo/native-messaging-hosts)
# Manifests in /etc are the administrator's to edit.
file(WRITE ${VARDELO_NATIVE_HOST_BUILT}/conffiles
     "/etc/chromium/native-messaging-hosts/io.github.vardelo.vardelo.json\n")
# Our own maintainer scripts also keep CPack from adding ldconfig calls for
# the browser module, which is no public library.
list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${VARDELO_NATIVE_HOST_BUILT}/conffiles
     ${PROJECT_SOURCE_DIR}/data/maintainer/postinst ${PROJECT_SOURCE_DIR}/data/maintainer/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
