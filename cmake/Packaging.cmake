# The Debian package (cpack -G DEB, run by scripts/package.sh): the install rules under /usr.
# Library dependencies come from dpkg-shlibdeps; scripts/deps.txt names what is loaded
# without being linked (Qt's platform and image plugins, the GL driver).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelorin)
set(CPACK_PACKAGE_VENDOR "Pelorin")
set(CPACK_PACKAGE_CONTACT "Pelorin <hello@pelorin.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Capture, frame, annotate and share screenshots")
set(CPACK_PACKAGE_DESCRIPTION "A tray screenshot tool: a global shortcut captures a region or a window
into an editor that frames it on a background, annotates it, and copies,
saves or uploads it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://pelorin.app/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

file(STRINGS ${CMAKE_SOURCE_DIR}/scripts/deps.txt _deps_lines)
set(_in_runtime FALSE)
set(_runtime_packages)
foreach(_line IN LISTS _deps_lines)
  if(_line MATCHES "^# Run time, loaded")
    set(_in_runtime TRUE)
  elseif(_line MATCHES "^# Run time, linked|^# Build")
    set(_in_runtime FALSE)
  elseif(_in_runtime AND _line MATCHES "^[a-z0-9][a-z0-9.+-]+$")
    list(APPEND _runtime_packages ${_line})
  endif()
endforeach()
list(JOIN _runtime_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# Wayland capture and shortcuts go through the desktop portal, which needs a backend for the
# desktop (GNOME's, KDE's, wlroots'…): the GTK one stands in where none is installed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-core, fonts-comfortaa, fonts-jetbrains-mono, gnome-keyring, qt6-wayland, \
xdg-desktop-portal, xdg-desktop-portal-gtk | xdg-desktop-portal-backend")

# What Debian asks of every package: the copyright in its machine-readable format and the
# changelog, compressed as its tools do.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
                   COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/packaging/debian/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
                   DEPENDS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog)
add_custom_target(pelorin-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/pelorin)

include(CPack)
