# Part of `cmake --install`: the parts of the program folder that depend on the machine or that
# belong to the user once written.
#   config/config.ini    the shipped settings, only when absent
#   tovanik/index.php    the welcome page, only when absent
#   php/t-server.exe     symbolic link to the php on PATH, unless a working link is there
# TOVANIK_PACKAGING_DIR is set by the install step before this script runs.

set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

# Ports below 1024 need root on Linux, so the shipped settings use 8080. The program's own
# defaults (port 80) apply only when the file is missing or incomplete.
foreach(file config/config.ini tovanik/index.php)
  get_filename_component(name "${file}" NAME)
  get_filename_component(subfolder "${file}" DIRECTORY)
  if(NOT EXISTS "${folder}/${file}")
    message(STATUS "Installing: ${folder}/${file}")
    file(MAKE_DIRECTORY "${folder}/${subfolder}")
    file(COPY_FILE "${TOVANIK_PACKAGING_DIR}/${name}" "${folder}/${file}")
  endif()
endforeach()

# The link keeps the path found on PATH (/usr/bin/php on Debian, Ubuntu, Fedora and Arch)
# rather than the versioned binary behind it, so it survives php upgrades and a tarball made
# here works wherever php-cli is installed. A link that already works is left alone: the user
# may have pointed it at another php.
set(link "${folder}/php/t-server.exe")
if(NOT EXISTS "${link}")
  find_program(php_on_path php NO_CACHE)
  if(php_on_path)
    set(php "${php_on_path}")
  else()
    set(php /usr/bin/php)
    message(WARNING "php not found on PATH: php/t-server.exe points to ${php}; install php-cli")
  endif()
  file(MAKE_DIRECTORY "${folder}/php")
  file(REMOVE "${link}")
  message(STATUS "Installing: ${link} -> ${php}")
  file(CREATE_LINK "${php}" "${link}" SYMBOLIC)
endif()
