#pragma once

#include "search/combination_search.h"

#include <array>
#include <cstddef>

namespace velmora {

// Collects solutions and hands them to the sink a block at a time; the engines flush it before they
// throw, so every solution found before an error reaches the sink.
class SolutionBatch {
public:
    explicit SolutionBatch(SolutionSink& sink) : m_sink(sink) {}
    SolutionBatch(const SolutionBatch&) = delete;
    SolutionBatch& operator=(const SolutionBatch&) = delete;

    Solution& next() {
        if (m_size == m_block.size())
            flush();
        return m_block[m_size++];
    }

    void flush() {
        if (m_size == 0)
            return;
        const std::size_t n = m_size;
        m_size = 0;
        m_sink.accept(std::span<const Solution>(m_block.data(), n));
    }

private:
    SolutionSink& m_sink;
    std::array<Solution, 1024> m_block{};
    std::size_t m_size = 0;
};

} // namespace velmora
