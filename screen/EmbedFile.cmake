# Writes a C++ file that holds the bytes of a file, for the default font the
# layer carries. Run as: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -P EmbedFile.cmake
# (SYMBOL is a namespace-qualified name: ns::name).
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
