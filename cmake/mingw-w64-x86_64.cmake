# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads, for
# std::thread), statically linked so the programs need no DLL beside them. Programs built
# for Windows run under Wine through the emulator below: try_run, GoogleTest's test
# discovery, ctest and the build tools that run at build time.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOVANIK_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOVANIK_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOVANIK_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TOVANIK_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOVANIK_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Wine with a prefix of the build folder's own, made on first use.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wine-prefix")
