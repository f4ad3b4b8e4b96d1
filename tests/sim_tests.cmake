# The simulated reader's library entry points, loaded in-process: several readers,
# plugging in and out, the monitor descriptor.
if(NOT TARGET GTest::gtest_main)
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)
add_executable(sim_readers_test ${CMAKE_CURRENT_LIST_DIR}/sim_readers_test.cpp)
target_link_libraries(sim_readers_test PRIVATE rfidsim GTest::gtest_main)
target_include_directories(sim_readers_test PRIVATE ${CMAKE_SOURCE_DIR}/usb)
set_target_properties(sim_readers_test PROPERTIES BUILD_RPATH "${RFID_SIM_LIB_DIR}" AUTOMOC OFF)
gtest_discover_tests(sim_readers_test)

# The settings file the simulated reader shares between processes (RFIDSIM_STATE):
# locking, damaged files, links, FIFOs. Forks, so a binary of its own.
if(NOT WIN32)
  add_executable(sim_state_file_test ${CMAKE_CURRENT_LIST_DIR}/sim_state_file_test.cpp)
  target_link_libraries(sim_state_file_test PRIVATE rfidsim GTest::gtest_main)
  target_include_directories(sim_state_file_test PRIVATE ${CMAKE_SOURCE_DIR}/usb)
  set_target_properties(sim_state_file_test PROPERTIES BUILD_RPATH "${RFID_SIM_LIB_DIR}" AUTOMOC OFF)
  gtest_discover_tests(sim_state_file_test)
endif()
