# Imported targets for the third-party libraries.  zlib comes from Debian's
# libz-mingw-w64-dev in the MinGW sysroot; the others are static libraries
# that scripts/bootstrap cross-builds into NEONARA_DEPS.
#
#   neonara::gtest  neonara::gmock  neonara::zlib  neonara::png
#   neonara::freetype  neonara::mpg123

set(NEONARA_SYSROOT /usr/i686-w64-mingw32)

# neonara_import(TARGET FILE [INCLUDE dirs...] [LINK libs...])
function(neonara_import target file)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "INCLUDE;LINK")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${file} is missing: run scripts/bootstrap "
                        "(dependency prefix NEONARA_DEPS=${NEONARA_DEPS})")
  endif()
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION "${file}")
  if(arg_INCLUDE)
    # Imported include folders are system folders: their headers do not
    # trip our -Wall -Wextra.
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${arg_INCLUDE}")
  endif()
  if(arg_LINK)
    set_target_properties(${target} PROPERTIES INTERFACE_LINK_LIBRARIES "${arg_LINK}")
  endif()
endfunction()

# zlib's headers are in the compiler's own include path already; naming that
# folder again (-isystem) would break libstdc++'s #include_next chain.
neonara_import(neonara::zlib "${NEONARA_SYSROOT}/lib/libz.a")

neonara_import(neonara::gtest "${NEONARA_DEPS}/lib/libgtest.a"
  INCLUDE "${NEONARA_DEPS}/include")
neonara_import(neonara::gmock "${NEONARA_DEPS}/lib/libgmock.a"
  INCLUDE "${NEONARA_DEPS}/include" LINK neonara::gtest)

neonara_import(neonara::png "${NEONARA_DEPS}/lib/libpng16.a"
  INCLUDE "${NEONARA_DEPS}/include" LINK neonara::zlib)

neonara_import(neonara::freetype "${NEONARA_DEPS}/lib/libfreetype.a"
  INCLUDE "${NEONARA_DEPS}/include/freetype2" LINK neonara::zlib)

# libmpg123 uses shlwapi for its Windows path handling.
neonara_import(neonara::mpg123 "${NEONARA_DEPS}/lib/libmpg123.a"
  INCLUDE "${NEONARA_DEPS}/include" LINK shlwapi)
