# The zip as shipped: `cpack` packs it, it unpacks into a folder whose path holds a blank
# and a letter outside ASCII, it holds the program folder, its settings are the program's
# defaults with Windows line ends, and its tovanikctl.exe runs from there (under Wine).
# Usage: cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DRUNNER=... -DPREFIX=... -P check_package.cmake
set(out "${BUILD_DIR}/package-check")
file(REMOVE_RECURSE "${out}")
execute_process(COMMAND cpack --config "${BUILD_DIR}/CPackConfig.cmake" -B "${out}"
                RESULT_VARIABLE packed OUTPUT_QUIET)
file(GLOB zip "${out}/tovanik-*-windows-x86_64.zip")
if(NOT packed EQUAL 0 OR NOT zip)
  message(FATAL_ERROR "cpack made no tovanik-VERSION-windows-x86_64.zip")
endif()

set(unpacked "${out}/un packed Zoë")
file(MAKE_DIRECTORY "${unpacked}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${zip}" WORKING_DIRECTORY "${unpacked}")
file(GLOB folder LIST_DIRECTORIES true "${unpacked}/tovanik-*")
set(expected tovanikctl.exe config/config.ini tovanik/index.php php/README.txt README.md
             front-controller.php)
if(EXISTS "${BUILD_DIR}/tovanik-webserver.exe")
  list(APPEND expected tovanik-webserver.exe)
endif()
foreach(file ${expected})
  if(NOT EXISTS "${folder}/${file}")
    message(FATAL_ERROR "the zip lacks ${file}")
  endif()
endforeach()
file(READ "${folder}/config/config.ini" shipped HEX)
file(READ "${SOURCE_DIR}/packaging/windows/config.ini" defaults HEX)
string(FIND "${shipped}" "0d0a" crlf)
if(NOT shipped STREQUAL defaults OR crlf EQUAL -1)
  message(FATAL_ERROR "config/config.ini is not the program's defaults in CR LF")
endif()

# The README with Windows line ends only.
# Read as bytes (a text read drops the CRs), one "xx " per byte.
file(READ "${folder}/README.md" readme HEX)
string(REGEX REPLACE "(..)" "\\1 " readme "${readme}")
string(FIND "${readme}" "0d 0a " crlf)
string(REPLACE "0d 0a " "" readme "${readme}")
string(FIND "${readme}" "0a " bareLf)
if(NOT bareLf EQUAL -1 OR crlf EQUAL -1)
  message(FATAL_ERROR "README.md in the zip has line ends other than CR LF")
endif()
# It is the Windows users' own: it starts with their steps, and names no Linux command nor
# any file of the project the zip lacks.
file(READ "${folder}/README.md" readme)
string(FIND "${readme}" "# Tovanik for Windows" title)
string(REGEX MATCH "run\\.sh|test\\.sh|docs/|\\]\\([a-z]+/|apt-get|\\$ " foreign "${readme}")
if(NOT title EQUAL 0 OR foreign)
  message(FATAL_ERROR "README.md in the zip is not the Windows users' (found '${foreign}')")
endif()
# Both programs declare that they take paths past 260 characters.
foreach(program tovanikctl.exe tovanik-webserver.exe)
  if(EXISTS "${folder}/${program}")
    file(STRINGS "${folder}/${program}" aware REGEX "<longPathAware[^>]*>true</longPathAware>")
    if(NOT aware)
      message(FATAL_ERROR "${program}'s manifest does not declare long-path awareness")
    endif()
    # Imported DLLs are loaded at every start; these are loaded when first used (comctl32:
    # the panel's tooltips; oleacc and oleaut32: its screen readers' object).
    file(STRINGS "${folder}/${program}" imports REGEX "^([Ss][Hh][Ee][Ll][Ll]|[Oo][Ll][Ee]|[Oo][Ll][Ee][Aa][Cc][Cc]|[Oo][Ll][Ee][Aa][Uu][Tt]|[Ii][Pp][Hh][Ll][Pp][Aa][Pp][Ii]|[Ww][Ss]2_|[Cc][Oo][Mm][Cc][Tt][Ll])(32)?\\.[Dd][Ll][Ll]$")
    if(imports)
      message(FATAL_ERROR "${program} imports ${imports}, which it loads only when needed")
    endif()
  endif()
endforeach()

# tovanikctl says why whenever it fails. A run that ends without a word on either output
# never reached it (Wine could not start it at that moment, seen once in a run of every
# test at once): that one run is made again, and a second silent end fails the check.
foreach(check "url=http://localhost" "config;get;exe_name=t-server.exe")
  string(REPLACE "=" ";" check "${check}")
  list(POP_BACK check answer)
  foreach(attempt 1 2)
    execute_process(COMMAND "${RUNNER}" "${PREFIX}" "${folder}/tovanikctl.exe" ${check}
                    OUTPUT_VARIABLE said ERROR_VARIABLE complained RESULT_VARIABLE code)
    if(code EQUAL 0 OR NOT said STREQUAL "" OR NOT complained STREQUAL "" OR attempt EQUAL 2)
      break()
    endif()
    message(STATUS "tovanikctl.exe ${check} ended silently (exit ${code}); once more")
  endforeach()
  string(REPLACE "\r" "" said "${said}")  # the line end as the host's pipe hands it over
  if(NOT code EQUAL 0 OR NOT said STREQUAL "${answer}\n")
    message(FATAL_ERROR "tovanikctl.exe ${check} said '${said}' (exit ${code}), not "
                        "'${answer}'; on its standard error: ${complained}")
  endif()
endforeach()
message(STATUS "the zip holds the program folder and runs")
