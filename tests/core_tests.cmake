# The reader core against the simulated reader's firmware, loaded in-process by
# its file name: the one write flow and the per-reader lock. Included from
# tests/CMakeLists.txt.
if(NOT TARGET GTest::gtest)
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)
file(GLOB RFID_CORE_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/core/*.cpp)
if(WIN32)
  # The Linux lock's tests fork a holder and kill it, and lock FIFOs and symbolic
  # links (the Windows lock has tests of its own, readerlock_win_test.cpp); the
  # write record's read sysfs links, hard links and the effective user. None of
  # that exists on Windows.
  list(FILTER RFID_CORE_TESTS EXCLUDE REGEX "/(readerlock|writerecord)_test\\.cpp$")
endif()
add_executable(core_tests ${RFID_CORE_TESTS})
target_link_libraries(core_tests PRIVATE rfidcore rfidsim Qt6::Core GTest::gtest_main)
set_target_properties(core_tests PROPERTIES BUILD_RPATH "${RFID_SIM_LIB_DIR}")
gtest_discover_tests(core_tests DISCOVERY_TIMEOUT 60)
