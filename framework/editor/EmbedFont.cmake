# Writes the bytes of INPUT (a font file) into OUTPUT as a C++ array that the
# editor library compiles: vst::editor_font::kData and kSize.
# Usage: cmake -DINPUT=font.ttf -DOUTPUT=embedded_font.cpp -P EmbedFont.cmake
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes a line.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPEAT "0x..," 16 line)
string(REGEX REPLACE "(${line})" "\\1\n" bytes "${bytes}")
get_filename_component(name ${INPUT} NAME)
file(WRITE ${OUTPUT}.tmp
  "// Made at build time from ${name} by EmbedFont.cmake; not to be edited.\n"
  "#include <cstddef>\n\nnamespace vst::editor_font {\n"
  "extern const unsigned char kData[];\nextern const size_t kSize;\n"
  "alignas(4) const unsigned char kData[] = {\n${bytes}};\n"
  "const size_t kSize = ${size};\n}  // namespace vst::editor_font\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
