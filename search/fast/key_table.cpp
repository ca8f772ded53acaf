#include "search/fast/key_table.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace velmora::fast::join {

void KeyTable::reset(std::size_t expected) {
    const std::size_t size = std::bit_ceil(std::max<std::size_t>(16, 2 * expected));
    m_keys.resize(size);
    m_values.assign(size, kNone);
    m_mask = size - 1;
    m_shift = 64 - static_cast<unsigned>(std::countr_zero(size));
    m_used = 0;
}

void KeyTable::reserve(std::size_t expected) {
    const std::size_t size = std::bit_ceil(std::max<std::size_t>(16, 2 * expected));
    m_keys.reserve(size);
    m_values.reserve(size);
}

void KeyTable::grow() {
    std::vector<std::uint32_t> keys = std::move(m_keys), values = std::move(m_values);
    const std::size_t used = m_used;
    reset(values.size());
    for (std::size_t j = 0; j < values.size(); ++j)
        if (values[j] != kNone) {
            std::size_t i = slot(keys[j]);
            while (m_values[i] != kNone)
                i = (i + 1) & m_mask;
            m_keys[i] = keys[j];
            m_values[i] = values[j];
        }
    m_used = used;
}

} // namespace velmora::fast::join
