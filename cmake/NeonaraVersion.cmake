# The one version number of Neonara, read from the file VERSION at the top of
# the checkout (MAJOR.MINOR.PATCH): it goes into the version information of
# neonara.scr and bass.dll, the installer and the packages' names.
#
# neonara_version_resource(TARGET t DESCRIPTION text FILENAME name
#                          [ICON file] [EXTRA rc-lines])
# compiles version information (and an icon, and further resource lines) into t.
include_guard(GLOBAL)

file(READ "${CMAKE_SOURCE_DIR}/VERSION" NEONARA_VERSION)
string(STRIP "${NEONARA_VERSION}" NEONARA_VERSION)
if(NOT NEONARA_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION must hold MAJOR.MINOR.PATCH, not '${NEONARA_VERSION}'")
endif()
set(NEONARA_VERSION_MAJOR ${CMAKE_MATCH_1})
set(NEONARA_VERSION_MINOR ${CMAKE_MATCH_2})
set(NEONARA_VERSION_PATCH ${CMAKE_MATCH_3})
set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/VERSION")

function(neonara_version_resource)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "TARGET;DESCRIPTION;FILENAME;ICON" "EXTRA")
  get_target_property(type ${arg_TARGET} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(NEONARA_RC_FILETYPE VFT_DLL)
  else()
    set(NEONARA_RC_FILETYPE VFT_APP)
  endif()
  set(NEONARA_RC_DESCRIPTION "${arg_DESCRIPTION}")
  set(NEONARA_RC_FILENAME "${arg_FILENAME}")
  get_filename_component(NEONARA_RC_NAME "${arg_FILENAME}" NAME_WE)
  set(NEONARA_RC_EXTRA "")
  if(arg_ICON)
    string(APPEND NEONARA_RC_EXTRA "1 ICON \"${arg_ICON}\"\n")
  endif()
  foreach(line IN LISTS arg_EXTRA)
    string(APPEND NEONARA_RC_EXTRA "${line}\n")
  endforeach()
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${arg_TARGET}_version.rc")
  configure_file("${CMAKE_SOURCE_DIR}/cmake/version.rc.in" "${rc}" @ONLY)
  target_sources(${arg_TARGET} PRIVATE "${rc}")
  if(arg_ICON)
    set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${arg_ICON}")
  endif()
endfunction()
