# Installing Orvex like a Linux program, and its Debian package.
#
# The program folder is <prefix>/lib/orvex: the executable with its engine
# modules beside it (the program finds them there), the files a new user's
# data folder is seeded from, and the marker that tells the program it is an
# installed copy, whose data then lives in $XDG_CONFIG_HOME/orvex.
# <prefix>/bin/orvex links to the executable. The desktop entry and the icon
# make Orvex a web browser the desktop can start and choose as its default.
include(GNUInstallDirs)

set(ORVEX_PROGRAM_DIR lib/orvex)
set(ORVEX_STAGE ${CMAKE_BINARY_DIR}/packaging)

install(TARGETS orvex RUNTIME DESTINATION ${ORVEX_PROGRAM_DIR})
foreach(module iexplore mozctl)
  if(TARGET ${module})
    install(TARGETS ${module} LIBRARY DESTINATION ${ORVEX_PROGRAM_DIR})
  endif()
endforeach()
# The "Gecko" engine's page-process part and its catalogue, beside it.
if(TARGET mozctl-page)
  install(DIRECTORY ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/mozctl-web DESTINATION ${ORVEX_PROGRAM_DIR})
endif()

# Seed files: an empty pop-up block list and an empty web list folder, which
# the program reads but never creates by itself. Written apart from bin/,
# whose files a portable run changes.
file(WRITE ${ORVEX_STAGE}/CloseURL.txt "")
# The name is InstalledMarkerName of src/core/ProgramFolder.h.
file(WRITE ${ORVEX_STAGE}/installed
  "This Orvex is installed: each user's settings, lists and bookmarks live in\n"
  "$XDG_CONFIG_HOME/orvex (by default ~/.config/orvex), seeded from this folder.\n")
install(FILES ${ORVEX_STAGE}/CloseURL.txt ${ORVEX_STAGE}/installed DESTINATION ${ORVEX_PROGRAM_DIR})
install(DIRECTORY DESTINATION ${ORVEX_PROGRAM_DIR}/WebList)

file(CREATE_LINK ../${ORVEX_PROGRAM_DIR}/orvex ${ORVEX_STAGE}/orvex SYMBOLIC)
install(FILES ${ORVEX_STAGE}/orvex DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/orvex.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/orvex-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME orvex.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/orvex.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvex)

# The desktop entry is checked where the desktop's own validator is at hand.
find_program(ORVEX_DESKTOP_FILE_VALIDATE desktop-file-validate)
if(ORVEX_TESTS AND ORVEX_DESKTOP_FILE_VALIDATE)
  add_test(NAME DesktopEntry.IsValid
    COMMAND ${ORVEX_DESKTOP_FILE_VALIDATE} ${PROJECT_SOURCE_DIR}/packaging/orvex.desktop)
endif()

# The Debian package: `cpack -G DEB` in the build folder makes
# orvex_<version>_<arch>.deb. The libraries the program and its modules link
# are found by dpkg-shlibdeps (Qt widgets and network, QtWebEngine, the Gecko
# engine's library, libxml2); the fonts and Qt's Japanese translations are
# named here. The desktop database and the icon cache are refreshed by the
# triggers of desktop-file-utils and the icon theme.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvex)
set(CPACK_PACKAGE_VENDOR "Orvex")
set(CPACK_PACKAGE_CONTACT "Orvex developers <orvex@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web browser with a Japanese user interface and two engines")
set(CPACK_PACKAGE_DESCRIPTION "Orvex holds any number of browser windows in one main window, mirrored by a
tab bar; each window shows its page in QtWebEngine or in the Gecko engine
module, chosen when it opens. Bookmarks, web lists, pop-up blocking and
recently closed pages come with it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qttranslations5-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
