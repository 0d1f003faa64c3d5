# The Windows zip: cpack -G ZIP in the windows build folder gives
# drsprep-batch-<version>-win64.zip with the program, a short README and the
# bundled example.
install(TARGETS drsprep-batch RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/README-Windows.txt ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/examples/deals.txt ${PROJECT_SOURCE_DIR}/examples/format.ini
              ${PROJECT_SOURCE_DIR}/examples/replace.txt DESTINATION example)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME drsprep-batch)
set(CPACK_PACKAGE_VENDOR "The drsprep developers")
set(CPACK_PACKAGE_FILE_NAME drsprep-batch-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
