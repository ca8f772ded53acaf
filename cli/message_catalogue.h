#pragma once

#include <cstdint>
#include <string_view>

namespace velmora {

/// A compiled gettext catalogue (a .mo file, as msgfmt writes it) held in memory: the Windows program's
/// way to the same translations that gettext reads on Linux. Entries that lie outside the bytes are
/// never read: such a catalogue finds nothing.
class MessageCatalogue {
public:
    explicit MessageCatalogue(std::string_view bytes);

    /// The translation of `original`, or nullptr when the catalogue has none.
    const char* find(std::string_view original) const;

private:
    std::string_view entry(std::uint32_t table, std::uint32_t index) const;

    std::string_view m_bytes;
    std::uint32_t m_count = 0;
    std::uint32_t m_originals = 0;
    std::uint32_t m_translations = 0;
};

/// The Japanese catalogue, compiled from cli/po/ja.po when the program was built.
const MessageCatalogue& japaneseCatalogue();

} // namespace velmora
