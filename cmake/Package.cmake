# Installation layout and the Debian package: cpack -G DEB in the build folder
# gives drsprep_<version>_<arch>.deb.
include(GNUInstallDirs)
install(TARGETS drsprep-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(DRS_BUILD_GUI)
  install(TARGETS drsprep RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/data/drsprep.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/drsprep.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME drsprep)
set(CPACK_PACKAGE_VENDOR "drsprep")
set(CPACK_PACKAGE_CONTACT "drsprep maintainers <drsprep@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Deal file for the settlement system from the exchange's deal report")
set(CPACK_PACKAGE_DESCRIPTION
    "drsprep loads the exchange's daily deal report, marks the broker's clients and exports
their deals into the settlement system's dBASE deal table, with turnovers.
drsprep-batch runs the same steps from the command line.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY drsprep)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(DRS_BUILD_GUI)
  # Qt's own dialogs and menus in Russian.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
endif()
include(CPack)
