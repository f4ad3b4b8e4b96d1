# CMake tool chain for Windows x86-64 with Debian's MinGW-w64 (the posix threads
# variant, which std::thread and Qt need). Used for Qt, GoogleTest and the
# program itself by scripts/build-windows.sh.
#
# RFID_WIN_PREFIXES (environment, ':'-separated): folders holding what was
# cross-built for Windows (Qt, hidapi, GoogleTest, ...). Only these and the
# MinGW-w64 system folder are searched for libraries, headers and packages, so
# nothing of the Linux host is ever picked up.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RFID_WIN_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RFID_WIN_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RFID_WIN_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RFID_WIN_TRIPLET}-windres)
set(CMAKE_AR /usr/bin/${RFID_WIN_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${RFID_WIN_TRIPLET}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP /usr/bin/${RFID_WIN_TRIPLET}-objdump CACHE FILEPATH "")
# Programs built here run under Wine when CMake or ctest runs one
# (gtest_discover_tests at build time, the tests themselves).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/wine)

set(CMAKE_FIND_ROOT_PATH /usr/${RFID_WIN_TRIPLET})
if(DEFINED ENV{RFID_WIN_PREFIXES})
  string(REPLACE ":" ";" _rfid_win_prefixes "$ENV{RFID_WIN_PREFIXES}")
  list(APPEND CMAKE_FIND_ROOT_PATH ${_rfid_win_prefixes})
endif()
# Build tools (moc, pkg-config, wine) are the host's; everything linked is Windows'.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
