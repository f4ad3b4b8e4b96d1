# Tests against a real kernel HID device inside a throw-away VM (tests/vm/).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND TARGET rfidusb)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/vm ${CMAKE_CURRENT_BINARY_DIR}/vm)
endif()
