# Writes the plug-in service's unit with rfidctl's installed path in its command
# lines (systemd runs a bare program name only from /usr/bin and /usr/local/bin,
# and the path must be the one installed). Run at install time, so that the path
# follows the prefix the files are installed under (the Debian package's /usr
# whatever the build was configured with), and by the service test:
#
#   cmake -DRFIDCTL=/usr/bin/rfidctl -DOUT=<unit file> -P configure-unit.cmake
if(NOT IS_ABSOLUTE "${RFIDCTL}" OR NOT OUT)
  message(FATAL_ERROR "configure-unit.cmake: RFIDCTL (an absolute path) and OUT are needed")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/rfid-reader-apply@.service.in ${OUT} @ONLY)
