# The plug-in service (systemd unit and udev rule): systemd-analyze verify, and
# the unit's command lines run against the simulated reader. Skips (77) without
# systemd-analyze.
if(TARGET rfidctl AND NOT APPLE)
  add_test(NAME service_unit
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/service_test.sh $<TARGET_FILE:rfidctl> ${CMAKE_SOURCE_DIR})
  set_tests_properties(service_unit PROPERTIES LABELS service SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()
