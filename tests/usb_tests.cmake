# Tests of librfidusb; included from tests/CMakeLists.txt. Linux only: the export
# check reads the library's ELF symbol table.
if(TARGET rfidusb AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  if(NOT TARGET GTest::gtest_main)
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)

  add_executable(usb_core_test ${CMAKE_CURRENT_LIST_DIR}/usb_core_test.cpp ${CMAKE_CURRENT_LIST_DIR}/usb_descriptor_test.cpp)
  target_link_libraries(usb_core_test PRIVATE rfidusb_core GTest::gtest_main ${CMAKE_DL_LIBS})
  set_target_properties(usb_core_test PROPERTIES AUTOMOC OFF)
  # The export check opens the built library itself rather than whatever the loader finds.
  target_compile_definitions(usb_core_test PRIVATE RFIDUSB_LIBRARY_PATH="$<TARGET_FILE:rfidusb>")
  add_dependencies(usb_core_test rfidusb)
  gtest_discover_tests(usb_core_test)

  # The library's I/O logic against a stand-in for hidapi defined in the test itself.
  add_executable(usb_io_test ${CMAKE_CURRENT_LIST_DIR}/usb_io_test.cpp ${CMAKE_CURRENT_LIST_DIR}/../usb/rfidusb.cpp)
  target_link_libraries(usb_io_test PRIVATE rfidusb_core GTest::gtest_main PkgConfig::UDEV)
  target_include_directories(usb_io_test PRIVATE $<TARGET_PROPERTY:PkgConfig::HIDAPI,INTERFACE_INCLUDE_DIRECTORIES>)
  set_target_properties(usb_io_test PROPERTIES AUTOMOC OFF)
  gtest_discover_tests(usb_io_test)
endif()
