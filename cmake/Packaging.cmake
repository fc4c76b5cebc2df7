# Installs the program the way Linux desktops find it (binary, desktop entry, hicolor icons,
# AppStream metainfo) and lets `cpack -G DEB` turn that install tree into a Debian package.
# Included last from the top-level CMakeLists.txt, after the pantrovo-importer target exists.
include(GNUInstallDirs)

set(PANTROVO_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS pantrovo-importer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PANTROVO_PACKAGING_DIR}/pantrovo-importer.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PANTROVO_PACKAGING_DIR}/io.pantrovo.Importer.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The PNGs are the files the window uses as its icon; the SVG is drawn to match them for the
# sizes in between.
set(PANTROVO_ICON_DIR ${PROJECT_SOURCE_DIR}/src/frmImport/icons)
install(FILES ${PANTROVO_ICON_DIR}/pantrovo-importer.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/16x16/apps)
foreach(size 32 48 64 256)
    install(FILES ${PANTROVO_ICON_DIR}/pantrovo-importer-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME pantrovo-importer.png)
endforeach()
install(FILES ${PANTROVO_PACKAGING_DIR}/pantrovo-importer.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pantrovo-importer)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pantrovo-importer)
set(CPACK_PACKAGE_VENDOR "Pantrovo")
set(CPACK_PACKAGE_CONTACT "Pantrovo Importer developers <importer@pantrovo.io>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Type many shopping items quickly and save them for the Pantrovo handheld app")
set(CPACK_PACKAGE_DESCRIPTION
    "Pantrovo Importer is a grid of six columns (Item Name, Group, Price, Item Type, Store,
Aisle No) with pick lists of the values typed before. It saves the rows as a CSV file to
copy to the handheld and import there into a shopping list, and it can open such a file
and append its rows to the grid.")
# The package carries the version exactly as the program reports it, "1.00".
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_HOMEPAGE_URL "https://pantrovo.io/importer/")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps works out the Qt 6 libraries from the binary. The platform plugin that opens
# the window (xcb, wayland) is loaded at run time, so no linker entry names it: depend on it
# by hand, or a minimal system starts the program and it exits without a window.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")

include(CPack)
