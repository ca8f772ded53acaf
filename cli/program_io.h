#pragma once

#include <string>
#include <vector>

namespace velmora {

/// The program's arguments, without its name, in UTF-8. On Windows they come from the wide command
/// line: argv there is in the ANSI code page, which garbles a path with a character outside it.
std::vector<std::string> programArguments(int argc, char** argv);

/// Makes stdout and stderr write their bytes unchanged. On Windows they start in text mode, which
/// would end each line in CR LF; velmora-search writes UTF-8 lines ending in LF on every platform.
void useBinaryOutput();

} // namespace velmora
