# The Debian package: built with CPack, unpacked into a scratch root, its files,
# desktop entry and udev rule checked, and the installed program run under Xvfb
# against the installed simulated reader. Skips (77) without cpack, dpkg-deb or Xvfb.
# The package is built on Linux only.
if(APPLE)
  return()
endif()
add_test(NAME package_install
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(package_install PROPERTIES
  LABELS package
  SKIP_RETURN_CODE 77
  TIMEOUT 600)
