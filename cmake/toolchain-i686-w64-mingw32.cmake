# Cross toolchain: 32-bit Windows (i686) with MinGW-w64 on Debian.
#
# The -posix compiler variants are used because the default win32 thread model
# has no std::thread / std::mutex, which GoogleTest and the audio engine need.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(NEONARA_TARGET i686-w64-mingw32)
set(NEONARA_SYSROOT /usr/${NEONARA_TARGET})

set(CMAKE_C_COMPILER   ${NEONARA_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NEONARA_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER  ${NEONARA_TARGET}-windres)
set(CMAKE_AR           ${NEONARA_TARGET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${NEONARA_TARGET}-ranlib CACHE FILEPATH "")

# Dependency prefix made by scripts/bootstrap (include/ and lib/).
if(NOT NEONARA_DEPS)
  if(DEFINED ENV{NEONARA_DEPS} AND NOT "$ENV{NEONARA_DEPS}" STREQUAL "")
    set(NEONARA_DEPS "$ENV{NEONARA_DEPS}")
  else()
    set(NEONARA_DEPS /var/cache/neonara/deps)
  endif()
endif()
set(NEONARA_DEPS "${NEONARA_DEPS}" CACHE PATH "Cross-built dependency prefix (scripts/bootstrap)")
# try_compile projects re-read this file: hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES NEONARA_DEPS)

set(CMAKE_FIND_ROOT_PATH ${NEONARA_SYSROOT} ${NEONARA_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows programs built here run on Linux through Wine.  The path is taken
# from this file's location, so it is absolute and also right for projects
# built with this toolchain from elsewhere (bootstrap builds GoogleTest so).
get_filename_component(_neonara_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_neonara_root}/scripts/wine-run")
unset(_neonara_root)
