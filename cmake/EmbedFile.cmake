# Builds a file's bytes into a library as a C++ array: the screen layer's default
# font, the renderer's shaders. CMake alone does the work, so every build host (the
# Windows cross build's included) can run it.
#
# Included from a CMakeLists.txt, it defines
#   vantor_embed_file(<variable> <input file> <ns::name>)
# which sets <variable> to a source generated in the current binary folder, to be
# added to a target, holding
#   namespace ns { extern const unsigned char name[]; extern const std::size_t nameSize; }
# and rebuilt whenever the input changes. The bytes are not terminated by a zero.
#
# Run as a script, it writes that source:
#   cmake -DINPUT=<file> -DOUTPUT=<source> -DSYMBOL=<ns::name> -P EmbedFile.cmake
if(NOT CMAKE_SCRIPT_MODE_FILE)
  function(vantor_embed_file variable input symbol)
    string(REPLACE "::" "_" stem "${symbol}")
    set(output ${CMAKE_CURRENT_BINARY_DIR}/${stem}.cpp)
    get_filename_component(from "${input}" NAME)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
      DEPENDS ${input} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
      COMMENT "Embedding ${from} as ${symbol}")
    set(${variable} ${output} PARENT_SCOPE)
  endfunction()
  return()
endif()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
string(REGEX MATCH "^(.*)::([^:]+)$" _ "${SYMBOL}")
set(ns "${CMAKE_MATCH_1}")
set(name "${CMAKE_MATCH_2}")
get_filename_component(from "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp" "// Generated at build time from ${from}; do not edit.\n#include <cstddef>\nnamespace ${ns} {\nextern const unsigned char ${name}[];\nextern const std::size_t ${name}Size;\nconst unsigned char ${name}[] = {\n${bytes}};\nconst std::size_t ${name}Size = ${size};\n}  // namespace ${ns}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
