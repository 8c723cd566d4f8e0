# The installer package under Wine (msi_package_test.cpp): the package the `msi` target builds, and
# an older one from the same source, for the upgrade.
if(NOT ZINNA_WINDOWS_FILES OR NOT ZINNA_WIXL OR NOT ZINNA_MSIBUILD)
  message(STATUS "msi_package_test needs wixl, msibuild and ZINNA_WINDOWS_FILES: not added")
  return()
endif()

set(ZINNA_MSI_OLDER_VERSION 0.0.1)
if(NOT ZINNA_MSI_OLDER_VERSION VERSION_LESS PROJECT_VERSION)
  message(FATAL_ERROR "The upgrade test's older package (${ZINNA_MSI_OLDER_VERSION}) must be older than ${PROJECT_VERSION}")
endif()
zinna_add_msi(msi_older ${ZINNA_MSI_OLDER_VERSION}
              ${CMAKE_CURRENT_BINARY_DIR}/zinna-${ZINNA_MSI_OLDER_VERSION}-win64.msi)

add_executable(msi_package_test msi_package_test.cpp)
# -lmsi: the Windows Installer's library (the name alone would be the `msi` target).
target_link_libraries(msi_package_test PRIVATE zinna_doctest zinna_platform_win32 -lmsi)
add_dependencies(msi_package_test msi msi_older desktop_colour_probe)
# Two entries, each within the suite's time limit: the uninstall's cases (one of which waits out
# the 30 s that a Zinna is given to close) apart from the rest.
add_test(NAME msi_package_test COMMAND msi_package_test --test-suite-exclude=uninstall)
add_test(NAME msi_uninstall_test COMMAND msi_package_test --test-suite=uninstall)
set_tests_properties(msi_package_test msi_uninstall_test PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 ENVIRONMENT
  "ZINNA_MSI=${ZINNA_MSI_PATH};ZINNA_MSI_VERSION=${PROJECT_VERSION};ZINNA_MSI_PRODUCT_CODE=${ZINNA_MSI_PRODUCT_CODE};ZINNA_MSI_OLDER=${msi_older_PATH};ZINNA_MSI_OLDER_VERSION=${ZINNA_MSI_OLDER_VERSION};ZINNA_MSI_OLDER_PRODUCT_CODE=${msi_older_PRODUCT_CODE};ZINNA_MSI_UPGRADE_CODE=${ZINNA_MSI_UPGRADE_CODE};ZINNA_EXE=$<TARGET_FILE:zinna>;ZINNA_WINDOWS_FILES=${ZINNA_WINDOWS_FILES};ZINNA_ICON=${PROJECT_SOURCE_DIR}/apps/zinna/zinna.ico;ZINNA_COLOUR_PROBE=$<TARGET_FILE:desktop_colour_probe>")
