# The Debian package, built by scripts/package with CPack from an installation under /usr:
#   /usr/bin/tesselmenu, /usr/share/tesselmenu/{tessel,Info.json} (the bundle rule holds:
#   bin/tesselmenu finds ../share/tesselmenu), /usr/bin/tessel (a link to the bundled tool),
#   the menu entry, AppStream metadata, hicolor icons, manual pages, copyright and changelog.
set(TESSELMENU_HOMEPAGE "https://github.com/tesselmenu/tesselmenu"
    CACHE STRING "The project's web page, for the package and its metadata")
set(TESSELMENU_MAINTAINER_NAME "The TesselMenu developers" CACHE STRING "Package maintainer")
set(TESSELMENU_MAINTAINER_EMAIL "tesselmenu@users.noreply.github.com"
    CACHE STRING "Package maintainer's mail address")

set(packaging_source ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_build ${PROJECT_BINARY_DIR}/packaging)
set(metainfo ${packaging_build}/io.github.tesselmenu.TesselMenu.metainfo.xml)
configure_file(${packaging_source}/tesselmenu.metainfo.xml.in ${metainfo} @ONLY)
configure_file(${packaging_source}/copyright ${packaging_build}/copyright @ONLY)

# Debian keeps manual pages and the changelog compressed, without a time stamp inside.
set(compressed)
foreach(document man/tesselmenu.1 man/tessel.1 changelog)
    configure_file(${packaging_source}/${document} ${packaging_build}/${document} @ONLY)
    add_custom_command(OUTPUT ${packaging_build}/${document}.gz
        COMMAND gzip -9nkf ${packaging_build}/${document}
        DEPENDS ${packaging_build}/${document}
        VERBATIM)
    list(APPEND compressed ${packaging_build}/${document}.gz)
endforeach()
add_custom_target(tesselmenu_packaging_documents ALL DEPENDS ${compressed})

# The tool on PATH for `tessel doctor`, as a relative link into the resource folder.
file(CREATE_LINK ../${CMAKE_INSTALL_DATADIR}/tesselmenu/tessel ${packaging_build}/tessel SYMBOLIC)

install(FILES ${packaging_build}/tessel DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_build}/man/tesselmenu.1.gz ${packaging_build}/man/tessel.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_build}/copyright ${packaging_build}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tesselmenu)
install(FILES ${packaging_source}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tesselmenu)
# Rendered once from resources/tesselmenu.svg: rsvg-convert -w SIZE -h SIZE.
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${packaging_source}/icons/${size}x${size}/tesselmenu.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tesselmenu)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TESSELMENU_MAINTAINER_NAME} <${TESSELMENU_MAINTAINER_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "token usage of AI coding tools in the system tray")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "TesselMenu shows how many tokens Codex, Claude Code and OpenCode have used:\n"
    "today's total on the tray icon, today's and this week's totals in a panel,\n"
    "and a heatmap of the last 98 days. It reads only the tools' local logs and\n"
    "can publish the figures to a GitHub repository, now or every day. The\n"
    "bundled command-line tool tessel does the counting; tessel doctor checks\n"
    "the setup.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TESSELMENU_HOMEPAGE})
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Libraries from what the binaries link (dpkg-shlibdeps); the rest are run, not linked:
# git for publishing, the Qt platform plugins to show anything at all.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "git, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei, qt6-wayland, systemd")
include(CPack)
