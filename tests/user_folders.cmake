# The check that a test run leaves the user's own folders alone, as two ctest entries
# around every test: MODE=before lists what of ours the user's folders hold (and makes
# fresh private folders for the tests that take them from ctest, OWN_FOLDERS), MODE=after
# lists them again and fails, naming them, when anything was added.
#   cmake -DMODE=before|after -DLIST=<file> [-DFOLDERS=<folder>|...] [-DOWN_FOLDERS=<folder>|...]
#         -P user_folders.cmake
# Only names holding "tovanik" (any case) count: other programs may write there meanwhile.
cmake_minimum_required(VERSION 3.22)

string(REPLACE "|" ";" FOLDERS "${FOLDERS}")
string(REPLACE "|" ";" OWN_FOLDERS "${OWN_FOLDERS}")
# By default the Linux user's folders, as ctest itself finds them.
if(FOLDERS STREQUAL "")
  set(FOLDERS "$ENV{HOME}/.local/state" "$ENV{HOME}/.local/share/applications"
              "$ENV{HOME}/.local/share/icons" "$ENV{HOME}/.config/autostart")
  if(NOT "$ENV{XDG_CONFIG_HOME}" STREQUAL "")
    list(APPEND FOLDERS "$ENV{XDG_CONFIG_HOME}/autostart")
  endif()
  foreach(variable XDG_STATE_HOME XDG_DATA_HOME XDG_RUNTIME_DIR)
    if(NOT "$ENV{${variable}}" STREQUAL "")
      list(APPEND FOLDERS "$ENV{${variable}}")
    endif()
  endforeach()
endif()

function(ours out)
  set(found)
  foreach(folder IN LISTS FOLDERS)
    if(IS_DIRECTORY "${folder}")
      file(GLOB_RECURSE files LIST_DIRECTORIES true "${folder}/*")
      foreach(file IN LISTS files)
        string(TOLOWER "${file}" lower)
        if(lower MATCHES "tovanik")
          list(APPEND found "${file}")
        endif()
      endforeach()
    endif()
  endforeach()
  list(SORT found)
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

ours(now)
if(MODE STREQUAL "before")
  foreach(folder IN LISTS OWN_FOLDERS)
    file(REMOVE_RECURSE "${folder}")
    file(MAKE_DIRECTORY "${folder}")
    file(CHMOD "${folder}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  endforeach()
  file(WRITE "${LIST}" "${now}")
  list(LENGTH now count)
  message(STATUS "the user's folders hold ${count} names of ours before the run")
  return()
endif()

file(READ "${LIST}" before)
set(added)
foreach(file IN LISTS now)
  if(NOT file IN_LIST before)
    list(APPEND added "${file}")
  endif()
endforeach()
if(added)
  list(JOIN added "\n  " shown)
  message(FATAL_ERROR "the tests left these in the user's own folders:\n  ${shown}")
endif()
message(STATUS "the user's folders hold nothing new of ours")
