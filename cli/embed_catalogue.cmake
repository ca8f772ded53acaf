# Writes OUTPUT, a C++ file that holds the compiled catalogue CATALOGUE (a .mo file) as bytes and defines
# FUNCTION() returning it as a MessageCatalogue: the Windows program carries its translations inside.
cmake_minimum_required(VERSION 3.25)
file(READ "${CATALOGUE}" bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Made at build time from ${CATALOGUE}: do not edit.
#include \"cli/message_catalogue.h\"

namespace velmora {
namespace {
const unsigned char kBytes[] = {
${bytes}
};
} // namespace

const MessageCatalogue& ${FUNCTION}() {
    static const MessageCatalogue catalogue(std::string_view(reinterpret_cast<const char*>(kBytes), sizeof kBytes));
    return catalogue;
}

} // namespace velmora
")
