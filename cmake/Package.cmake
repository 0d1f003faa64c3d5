# Installation layout and the Debian package: cpack -G DEB in the build folder
# gives drsprep_<version>_<arch>.deb; scripts/package.sh builds it with
# Debian's release flags and checks it with lintian.
include(GNUInstallDirs)

set(DRS_PACKAGE_MAINTAINER "drsprep developers <drsprep@example.org>"
    CACHE STRING "The package's Maintainer, also the signature of its changelog entries")
set(DRS_PROJECT_URL "https://example.org/drsprep"
    CACHE STRING "Where the project's pages are published: the AppStream homepage, with main-window.png")
set(DRS_APPSTREAM_ID org.example.drsprep)

# The release date is the one in CHANGELOG.md's heading "## <version> - <date>".
string(REPLACE "." "\\." version_pattern "${PROJECT_VERSION}")
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md release_heading
     REGEX "^## ${version_pattern} - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
if(NOT release_heading)
  message(FATAL_ERROR "CHANGELOG.md has no heading \"## ${PROJECT_VERSION} - YYYY-MM-DD\"")
endif()
string(REGEX REPLACE "^## [^ ]+ - " "" DRS_RELEASE_DATE "${release_heading}")

# What the package holds besides the programs, made in <build>/package.
set(pkg ${PROJECT_BINARY_DIR}/package)
set(pkg_files)
function(drs_gzip name)  # package/<name> -> package/<name>.gz, as gzip -9n makes it
  add_custom_command(OUTPUT ${pkg}/${name}.gz COMMAND gzip -9n -c ${pkg}/${name} > ${pkg}/${name}.gz
                     DEPENDS ${pkg}/${name} VERBATIM)
  set(pkg_files ${pkg_files} ${pkg}/${name}.gz PARENT_SCOPE)
endfunction()

set(programs drsprep-batch)
if(DRS_BUILD_GUI)
  list(APPEND programs drsprep)
endif()
foreach(program ${programs})
  configure_file(${PROJECT_SOURCE_DIR}/man/${program}.1.in ${pkg}/${program}.1 @ONLY)
  drs_gzip(${program}.1)
  install(FILES ${pkg}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

find_program(AWK awk REQUIRED)
add_custom_command(OUTPUT ${pkg}/changelog
                   COMMAND ${AWK} -v package=drsprep -v "maintainer=${DRS_PACKAGE_MAINTAINER}" -f
                           ${PROJECT_SOURCE_DIR}/packaging/changelog.awk ${PROJECT_SOURCE_DIR}/CHANGELOG.md
                           > ${pkg}/changelog
                   DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog.awk ${PROJECT_SOURCE_DIR}/CHANGELOG.md VERBATIM)
drs_gzip(changelog)

if(DRS_BUILD_GUI)
  # PNG icons at the usual sizes beside the SVG, for menus that take no SVG.
  find_program(RSVG_CONVERT rsvg-convert REQUIRED)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${pkg}/icons/${size}x${size}/drsprep.png)
    add_custom_command(OUTPUT ${png} COMMAND ${CMAKE_COMMAND} -E make_directory ${pkg}/icons/${size}x${size}
                       COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${PROJECT_SOURCE_DIR}/data/drsprep.svg
                       DEPENDS ${PROJECT_SOURCE_DIR}/data/drsprep.svg VERBATIM)
    list(APPEND pkg_files ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/data/drsprep.metainfo.xml.in ${pkg}/${DRS_APPSTREAM_ID}.metainfo.xml @ONLY)
endif()
add_custom_target(drs_package_files ALL DEPENDS ${pkg_files})

install(TARGETS drsprep-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(DRS_BUILD_GUI)
  install(TARGETS drsprep RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/data/drsprep.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/drsprep.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${pkg}/${DRS_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${pkg}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME drsprep)
set(CPACK_PACKAGE_VENDOR "The drsprep developers")
set(CPACK_PACKAGE_CONTACT "${DRS_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Deal file for the settlement system from the exchange's deal report")
set(CPACK_PACKAGE_DESCRIPTION
    "drsprep loads the exchange's (MMVB) daily deal report, marks the deals of
the broker's own clients and exports them into the settlement system's
dBASE deal table, then sums turnovers. drsprep-batch runs the same steps
from the command line.")
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
