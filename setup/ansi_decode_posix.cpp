// Decoding on POSIX systems, which have no ANSI code page: the line is taken as code page 932 through iconv.
#include "setup/ansi_decode.h"

#include "setup/cp932_units.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace velmora {
namespace {

class Converter {
public:
    // glibc's "CP932" follows the Windows table (0x5C is the backslash, 0x8160 is U+FF5E);
    // "SHIFT_JIS" would not.
    Converter() : m_cd(iconv_open("UTF-8", "CP932")) {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("code page 932 is not available");
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::string decode(std::string_view bytes) {
        std::string out;
        out.reserve(bytes.size() * 3 / 2 + 4);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buffer[4096];
        while (!bytes.empty()) {
            char* in = const_cast<char*>(bytes.data());
            std::size_t inLeft = bytes.size();
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t rc = iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
            const int err = errno;
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            bytes.remove_prefix(bytes.size() - inLeft);
            if (rc != static_cast<std::size_t>(-1))
                continue;
            if (err == E2BIG)
                continue;
            // EILSEQ or EINVAL (a lone lead byte at the end): replace one unit and go on.
            out += cp932::kReplacement;
            bytes.remove_prefix(cp932::unitLength(bytes));
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t m_cd;
};

} // namespace

std::string decodeAnsiLine(std::string_view bytes) {
    // Pure ASCII (numbers, most lines) needs no conversion.
    bool ascii = true;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return std::string(bytes);
    thread_local Converter converter;
    return converter.decode(bytes);
}

} // namespace velmora
