# Writes OUTPUT, a C++ source with every file of FILES as bytes under its own name, for
# pageassets::find.
set(body "// Generated from server/page at build time; do not edit.\n")
string(APPEND body "#include \"pageassets.h\"\n\nnamespace pageassets {\nnamespace {\n")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "const unsigned char file${index}[] = {${bytes}};\n")
  string(APPEND table "        {\"${name}\", std::string_view(reinterpret_cast<const char*>("
    "file${index}), ${size})},\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "} // namespace\n\nstd::optional<std::string_view> find(std::string_view name) {\n"
  "    static const std::pair<std::string_view, std::string_view> files[] = {\n${table}    };\n"
  "    for (const auto& [n, bytes] : files)\n        if (n == name)\n            return bytes;\n"
  "    return std::nullopt;\n}\n\n} // namespace pageassets\n")
file(WRITE ${OUTPUT}.new "${body}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
