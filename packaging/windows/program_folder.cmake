# Part of `cmake --install` (and of the zip cpack makes) on Windows: the parts of the
# program folder that belong to the user once written.
#   config\config.ini    the program's defaults (port 80), CR LF, only when absent
#   tovanik\index.php    the welcome page, only when absent
#   php\README.txt       where PHP for Windows goes
#   README.md            the README for Windows users (packaging/windows/README.md), with
#                        CR LF line ends (Notepad before Windows 10 1809 shows a file of
#                        LF ends as one line)
# TOVANIK_PACKAGING_DIR and TOVANIK_README are set by the install step before this
# script runs.

set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

foreach(pair "windows/config.ini=config/config.ini" "index.php=tovanik/index.php"
             "windows/php-README.txt=php/README.txt")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 file)
  get_filename_component(subfolder "${file}" DIRECTORY)
  if(NOT EXISTS "${folder}/${file}" OR file STREQUAL "php/README.txt")
    message(STATUS "Installing: ${folder}/${file}")
    file(MAKE_DIRECTORY "${folder}/${subfolder}")
    file(COPY_FILE "${TOVANIK_PACKAGING_DIR}/${source}" "${folder}/${file}")
  endif()
endforeach()

file(READ "${TOVANIK_README}" readme)
string(REPLACE "\r\n" "\n" readme "${readme}")
string(REPLACE "\n" "\r\n" readme "${readme}")
message(STATUS "Installing: ${folder}/README.md")
file(WRITE "${folder}/README.md" "${readme}")
