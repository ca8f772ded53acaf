#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

/// A run-time error of a command: its number and its description (Japanese, UTF-8).
class RunTimeError : public std::runtime_error {
public:
    RunTimeError(int number, const std::string& description)
        : std::runtime_error(description), m_number(number) {}

    int number() const { return m_number; }
    std::string description() const { return what(); }
    /// "実行時エラー N: description", the text a message box shows.
    std::string report() const;

    static RunTimeError overflow();    // error 6
    static RunTimeError outOfMemory(); // error 7

private:
    int m_number;
};

} // namespace velmora
