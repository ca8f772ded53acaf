#include "search/fast/record_writer.h"

namespace velmora::fast {

#if VELMORA_AVX512
// Here, not in wide_writer.cpp: it runs on every processor, and that unit may use 64-byte
// instructions anywhere.
bool hasWideStores() {
    static const bool supported = __builtin_cpu_supports("avx512f");
    return supported;
}
#endif

} // namespace velmora::fast
