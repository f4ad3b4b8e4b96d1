# A real Debian system in a VM with the package installed (tests/system/).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND TARGET rfidctl)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/system ${CMAKE_CURRENT_BINARY_DIR}/system)
endif()
