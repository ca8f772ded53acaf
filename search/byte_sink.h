#pragma once

#include <string_view>

namespace velmora {

/// Where the result text goes: standard output for velmora-search, a file the window saves. A sink that
/// fails throws, which stops the writer at once.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(std::string_view bytes) = 0;
    /// Nothing more comes for a while: a sink that can tell that its reader has gone throws now, as
    /// its next write would.
    virtual void idle() {}
};

} // namespace velmora
