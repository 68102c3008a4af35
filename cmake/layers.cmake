# The layers' include roots and our targets' warnings, used by the top-level CMakeLists.txt.

# Each layer's library exposes only its own folder's headers to the layers above it. Every
# header is included by its path from the source root ("settings/config.h"); a layer's
# include root is a folder of the build tree that holds nothing but a link named after
# the layer's folder. A layer sees its own root and those of the layers it links, so
# settings/ including a panel/ header does not compile.
function(tovanik_layer_headers target folder)
  set(scope PUBLIC)
  if(ARGC GREATER 2)
    set(scope ${ARGV2})
  endif()
  set(root ${CMAKE_BINARY_DIR}/layer-headers/${folder})
  if(NOT EXISTS ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# Warnings on every target of ours, errors too with TOVANIK_WERROR (the test presets):
# every target defined in `dir` and the folders below it that belong to this source tree.
function(tovanik_warnings_below dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                             $<$<BOOL:${TOVANIK_WERROR}>:-Werror>)
    endif()
  endforeach()
  get_property(folders DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(folder IN LISTS folders)
    cmake_path(IS_PREFIX CMAKE_SOURCE_DIR ${folder} NORMALIZE ours)
    if(ours)
      tovanik_warnings_below(${folder})
    endif()
  endforeach()
endfunction()
