#include "cli/message_catalogue.h"

#include <cstring>

namespace velmora {
namespace {

constexpr std::uint32_t kMagic = 0x950412de; // in the byte order of the machine that wrote it

std::uint32_t word(std::string_view bytes, std::uint32_t at) {
    std::uint32_t value = 0;
    if (at <= bytes.size() && bytes.size() - at >= 4)
        std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

} // namespace

MessageCatalogue::MessageCatalogue(std::string_view bytes) : m_bytes(bytes) {
    // Header: magic, revision, number of strings, offset of the originals' table, of the translations'.
    if (word(bytes, 0) != kMagic)
        return;
    m_count = word(bytes, 8);
    m_originals = word(bytes, 12);
    m_translations = word(bytes, 16);
}

// Entry `index` of a table of (length, offset) pairs; empty where it would reach outside the bytes or
// lacks the NUL that msgfmt puts after each string.
std::string_view MessageCatalogue::entry(std::uint32_t table, std::uint32_t index) const {
    const std::uint64_t at = std::uint64_t{table} + std::uint64_t{index} * 8;
    if (at + 8 > m_bytes.size())
        return {};
    const std::uint64_t length = word(m_bytes, static_cast<std::uint32_t>(at));
    const std::uint64_t offset = word(m_bytes, static_cast<std::uint32_t>(at + 4));
    if (offset + length >= m_bytes.size() || m_bytes[offset + length] != '\0')
        return {};
    return m_bytes.substr(offset, length);
}

const char* MessageCatalogue::find(std::string_view original) const {
    // msgfmt sorts the originals by their bytes: a binary search.
    std::uint32_t low = 0;
    std::uint32_t high = m_count;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        const std::string_view candidate = entry(m_originals, middle);
        if (candidate.data() == nullptr)
            return nullptr;
        const int order = candidate.compare(original);
        if (order == 0) {
            const std::string_view translation = entry(m_translations, middle);
            return translation.empty() ? nullptr : translation.data();
        }
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return nullptr;
}

} // namespace velmora
