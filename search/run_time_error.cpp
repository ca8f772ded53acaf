#include "search/run_time_error.h"

namespace velmora {

std::string RunTimeError::report() const { return "実行時エラー " + std::to_string(m_number) + ": " + description(); }

RunTimeError RunTimeError::overflow() { return RunTimeError(6, "オーバーフローしました。"); }

RunTimeError RunTimeError::outOfMemory() { return RunTimeError(7, "メモリが不足しています。"); }

} // namespace velmora
