# Turns the environment library's sources into one C++ file that embeds
# them, in start-up order, as byte arrays.
#
#   cmake -DLIST=<startup.list> -DROOT=<source dir> -DOUT=<generated .cpp> -P embed_environment.cmake
#
# The list names one source per line, relative to the source directory;
# blank lines and lines starting with # are skipped.
file(STRINGS "${LIST}" lines)
set(names "")
set(arrays "")
set(index 0)
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  file(READ "${ROOT}/${line}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Wrapped lines keep the generated file readable by editors and diffs.
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  string(APPEND arrays "const unsigned char source_${index}[] = {\n${bytes}0};\n")
  string(APPEND names "    {\"${line}\", source_${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
set(text "// Generated from environment/startup.list: do not edit.\n")
string(APPEND text "#include \"runtime/environment/sources.h\"\n\n")
string(APPEND text "namespace qor::environment {\n\nnamespace {\n\n${arrays}\n")
string(APPEND text "const Source table[] = {\n${names}    {nullptr, nullptr, 0},\n};\n\n}  // namespace\n\n")
string(APPEND text "std::span<const Source> sources() { return {table, ${index}}; }\n\n}  // namespace qor::environment\n")
file(WRITE "${OUT}" "${text}")
