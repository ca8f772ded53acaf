#pragma once

#include <span>
#include <string>

namespace velmora {

/// What the arguments of velmora-search ask for.
struct Options {
    bool count = false;
    bool header = false;
    bool csv = false;
    bool reference = false;
    bool help = false;
    bool version = false;
    bool hasFile = false;
    std::string file; // UTF-8, as given
};

/// The arguments taken apart; `error` names what was wrong with them, empty when nothing was.
struct ParsedArguments {
    Options options;
    std::string error;
};

ParsedArguments parseArguments(std::span<const std::string> args);

/// The text of --help.
std::string usageText();

} // namespace velmora
