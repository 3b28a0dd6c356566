# The Debian package: cpack -G DEB in the build directory makes latmo_<version>_<arch>.deb.
# Library dependencies come from dpkg-shlibdeps; the post-install script grants ICMP the
# least-privileged way (packaging/debian/postinst). Files are only those that cmake --install
# puts under /usr, so removing the package leaves nothing behind but the users' own files.

set(CPACK_PACKAGE_NAME latmo)
set(CPACK_PACKAGE_VENDOR "Latmo")
set(CPACK_PACKAGE_CONTACT "Latmo developers <latmo@example.org>" CACHE STRING
    "Maintainer named in the package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch the network latency to three hosts")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The long description only: cpack puts the summary in front of it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Latmo sends one ICMP echo to each of three hosts every few seconds and shows the
trimmed mean of the last five round trips on a zoomable graph, as text, in the
window caption and as a live number in its tray icon, with an alarm above a
threshold and an optional tab-separated measurement log.")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${LATMO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its display plugins at run time, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The system's ping is the echo engine of last resort (no ICMP datagram sockets, no capability);
# setcap gives the capability at installation. The alarm's document is opened by the desktop's
# xdg-open where there is one, else by GLib's gio: xdg-utils itself would bring a terminal
# emulator and some forty other packages along on a minimal system, through its own Recommends.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "iputils-ping, libcap2-bin, libglib2.0-bin | xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
