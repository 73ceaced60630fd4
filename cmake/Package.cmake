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
include(CPack)
