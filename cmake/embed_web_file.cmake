# Writes a C++ source that holds the bytes of a file as an array, so a
# program can serve them without reading anything at run time.
#   cmake -DINPUT=file -DOUTPUT=source.cpp -DSYMBOL=name -P embed_web_file.cmake
# The source defines `extern const unsigned char SYMBOL[]` and
# `extern const unsigned long SYMBOL_size` in namespace kalo::embedded.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by cmake/embed_web_file.cmake; do not edit.\n"
  "namespace kalo::embedded {\n"
  "extern const unsigned char ${SYMBOL}[] = {\n${bytes}0x00};\n"
  "extern const unsigned long ${SYMBOL}_size = ${size};\n"
  "} // namespace kalo::embedded\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
