# Installation and the Debian package.
#
# The program looks for "http_server.ini", the map page's document root and
# the "KIPO" folder in its own directory, so all of them go together into
# lib/okukipo; bin/okukipo is a link to it (the program resolves the link
# when it asks for its directory).  Desktop integration: the udev rule that
# gives the logged-in user access to the flight computer, the menu entry,
# the icon and the .kipo file type; the manual pages and the command-line
# tool's bash completion, where Debian's bash-completion loads it on demand.

# Installing needs the program and the CLI, not the whole suite: build those
# two targets first (see the README).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(OKUKIPO_APP_DIR "lib/okukipo")
set(OKUKIPO_BUILT_APP_DIR "${PROJECT_BINARY_DIR}/app")

install(TARGETS okukipo RUNTIME DESTINATION "${OKUKIPO_APP_DIR}")
install(TARGETS okukipo-cli RUNTIME DESTINATION bin)
install(FILES "${OKUKIPO_BUILT_APP_DIR}/http_server.ini" DESTINATION "${OKUKIPO_APP_DIR}")
install(DIRECTORY "${OKUKIPO_BUILT_APP_DIR}/docroot" DESTINATION "${OKUKIPO_APP_DIR}")
install(DIRECTORY DESTINATION "${OKUKIPO_APP_DIR}/KIPO/firmware")
install(DIRECTORY DESTINATION "${OKUKIPO_APP_DIR}/KIPO/temp")
# The link is relative, so it holds wherever the tree is installed.
file(MAKE_DIRECTORY "${PROJECT_BINARY_DIR}/packaging")
file(CREATE_LINK "../${OKUKIPO_APP_DIR}/okukipo" "${PROJECT_BINARY_DIR}/packaging/okukipo" SYMBOLIC)
install(FILES "${PROJECT_BINARY_DIR}/packaging/okukipo" DESTINATION bin)

set(packaging "${PROJECT_SOURCE_DIR}/packaging")
install(FILES "${packaging}/70-okukipo.rules" DESTINATION lib/udev/rules.d)
install(FILES "${packaging}/okukipo.desktop" "${packaging}/okukipo-flight.desktop" DESTINATION share/applications)
install(FILES "${packaging}/okukipo-mime.xml" DESTINATION share/mime/packages RENAME okukipo.xml)
install(FILES "${PROJECT_SOURCE_DIR}/resources/okukipo.svg" DESTINATION share/icons/hicolor/scalable/apps)
install(FILES "${packaging}/okukipo.1" "${packaging}/okukipo-cli.1" DESTINATION share/man/man1)
install(FILES "${packaging}/okukipo-cli.bash-completion" DESTINATION share/bash-completion/completions RENAME okukipo-cli)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "okukipo-studio")
set(CPACK_PACKAGE_VENDOR "OKU KIPO Studio project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop companion of the OKU KIPO model-rocket flight computer")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "OKU KIPO Studio project <okukipo@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Live sensors, GPS and 3-D orientation, device settings, flight download and\nanalysis, plots, .kipo flight files and exports for the OKU KIPO flight\ncomputer, which connects over USB as a HID device.")
# Qt, Boost, hidapi and udev libraries, as the program links them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${packaging}/postinst")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
