# rfidctl run as a separate process against the simulated reader, which keeps
# its settings in a file between runs; included from tests/CMakeLists.txt.
if(TARGET rfidctl)
  if(NOT TARGET GTest::gtest)
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
  file(GLOB RFID_CLI_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/cli/*.cpp)
  if(WIN32)
    # The fleet's tests run Ansible and read hidraw nodes; the station's stop it
    # with POSIX signals and read FIFOs. Neither exists on Windows.
    list(FILTER RFID_CLI_TESTS EXCLUDE REGEX "/rfidctl_(fleet|station)_test\\.cpp$")
  endif()
  add_executable(rfidctl_tests ${RFID_CLI_TESTS})
  target_link_libraries(rfidctl_tests PRIVATE rfidcore Qt6::Core GTest::gtest)
  target_compile_definitions(rfidctl_tests PRIVATE RFIDCTL_PATH="$<TARGET_FILE:rfidctl>"
    RFIDSIM_LIBRARY="$<TARGET_FILE:rfidsim>")
  add_dependencies(rfidctl_tests rfidctl rfidsim)
  gtest_discover_tests(rfidctl_tests DISCOVERY_TIMEOUT 60)
endif()
