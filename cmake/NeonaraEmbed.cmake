# neonara_embed(TARGET <target> FILES <file>...)
#
# Compiles the files into <target> (a program, or a library linked into one):
# a generated source takes each file in with the assembler's .incbin, so the
# bytes go into the program unchanged, and lists them in an EmbeddedFile table
# (stream/ramstream.h) under their file names. The program registers them with
# RegisterEmbeddedFiles() or looks them up with FindEmbeddedFile(), and opens
# them as "incbin::<file name>". <target> must link kv_stream.
#
# Relative paths are taken from the current source directory; give files that
# the build generates as absolute paths (for example in
# ${CMAKE_CURRENT_BINARY_DIR}). A change of any file rebuilds the source.
include_guard(GLOBAL)

function(neonara_embed)
  cmake_parse_arguments(PARSE_ARGV 0 EMBED "" "TARGET" "FILES")
  if(NOT EMBED_TARGET OR NOT EMBED_FILES)
    message(FATAL_ERROR "usage: neonara_embed(TARGET <target> FILES <file>...)")
  endif()
  set(paths "")
  set(names "")
  foreach(file IN LISTS EMBED_FILES)
    get_filename_component(path "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    get_filename_component(name "${path}" NAME)
    if(name IN_LIST names)
      message(FATAL_ERROR "neonara_embed: two files named ${name} in ${EMBED_TARGET}")
    endif()
    if(path MATCHES "[|\n]")
      message(FATAL_ERROR "neonara_embed: unsupported character in ${path}")
    endif()
    list(APPEND paths "${path}")
    list(APPEND names "${name}")
  endforeach()

  set(script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/NeonaraEmbedGenerate.cmake")
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${EMBED_TARGET}_embedded.cpp")
  list(LENGTH paths count)
  # The list goes to the script as one argument, "|" between the paths.
  string(REPLACE ";" "|" joined "${paths}")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" "-DOUTPUT=${output}" "-DTARGET=${EMBED_TARGET}"
            "-DFILES=${joined}" -P "${script}"
    DEPENDS ${paths} "${script}"
    COMMENT "Embedding ${count} file(s) into ${EMBED_TARGET}"
    VERBATIM)
  target_sources(${EMBED_TARGET} PRIVATE "${output}")
endfunction()
