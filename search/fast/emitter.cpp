#include "search/fast/emitter.h"

#include <new>

namespace velmora::fast {

void Emitter::flush() {
    if (m_used == 0)
        return;
    if (m_recording) {
        capture();
        m_recordFrom = 0;
    }
    const std::size_t n = m_used;
    m_used = 0;
    m_flushed += n;
    m_sink.accept(std::span<const Solution>(m_block.data(), n));
}

void Emitter::startRecording(std::vector<Solution>& into, std::size_t cap) {
    m_record = &into;
    m_record->clear();
    m_recording = true;
    m_recordComplete = true;
    m_recordCap = cap;
    m_recordFrom = m_used;
}

bool Emitter::stopRecording() {
    capture();
    m_recording = false;
    return m_recordComplete;
}

void Emitter::capture() {
    if (!m_recordComplete)
        return;
    if (m_record->size() + (m_used - m_recordFrom) > m_recordCap) {
        m_recordComplete = false;
        m_record->clear();
        return;
    }
    try {
        m_record->insert(m_record->end(), m_block.begin() + static_cast<std::ptrdiff_t>(m_recordFrom),
                         m_block.begin() + static_cast<std::ptrdiff_t>(m_used));
    } catch (const std::bad_alloc&) { // a record only saves time: search again instead
        m_recordComplete = false;
        std::vector<Solution>().swap(*m_record);
        return;
    }
    m_recordFrom = m_used;
}

} // namespace velmora::fast
