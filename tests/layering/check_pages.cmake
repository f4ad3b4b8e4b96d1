# Checks that the pages stay below the window: no file in PAGES_DIR includes a
# header of the window (a header in APP_DIR, or any path through an "app"
# folder), and no page includes another page's header. A page's header is
# named after its page (*page.h); a page's own source includes its own header.
# Helpers shared by pages (pagehost.h, cardpageparts.h, keyboardpages.h) may
# be included by any of them.
#
#   cmake -DPAGES_DIR=<pages folder> -DAPP_DIR=<window folder> -P check_pages.cmake
#
# Fails naming every include that breaks the rule.
cmake_minimum_required(VERSION 3.25)

foreach(var PAGES_DIR APP_DIR)
  if(NOT IS_DIRECTORY "${${var}}")
    message(FATAL_ERROR "${var} must name a folder, not \"${${var}}\"")
  endif()
endforeach()

file(GLOB app_headers "${APP_DIR}/*.h")
set(app_names)
foreach(h ${app_headers})
  get_filename_component(name "${h}" NAME)
  list(APPEND app_names "${name}")
endforeach()

file(GLOB page_headers "${PAGES_DIR}/*page.h")
set(page_names)
foreach(h ${page_headers})
  get_filename_component(name "${h}" NAME)
  list(APPEND page_names "${name}")
endforeach()

file(GLOB sources "${PAGES_DIR}/*.h" "${PAGES_DIR}/*.cpp")
if(NOT sources)
  message(FATAL_ERROR "no sources in ${PAGES_DIR}")
endif()
set(faults)
foreach(source ${sources})
  get_filename_component(file "${source}" NAME)
  get_filename_component(stem "${source}" NAME_WE)
  file(STRINGS "${source}" includes ENCODING UTF-8 REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*$" "\\1" path "${line}")
    get_filename_component(name "${path}" NAME)
    if(path MATCHES "(^|/|\\\\)app(/|\\\\)" OR name IN_LIST app_names)
      list(APPEND faults "${file} includes \"${path}\", a header of the window (app/): use PageHost")
    elseif(name IN_LIST page_names AND NOT name STREQUAL "${stem}.h")
      list(APPEND faults "${file} includes \"${path}\", another page's header: share through a helper header or PageHost")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Pages reach beyond their host:\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "Pages: ${count} files include no header of the window and no other page's header.")
