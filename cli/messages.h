#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace velmora {

/// Makes velmora-search speak the user's language from here on: on Linux the locale's (LC_ALL,
/// LC_MESSAGES, LANG) through gettext and the catalogues installed beside the program, on Windows the
/// user's UI language through the catalogue built into the program. Until it is called, and wherever no
/// catalogue has the language, the messages are English. Numbers and the program's output are not
/// touched: only the language of messages and of the system's reasons follows the user.
void useUserLanguage();

/// `english` in the user's language; the English text is the key into the catalogues (po/*.po).
std::string tr(const char* english);
/// tr() with each "%s" replaced by the next of `arguments`, in order. The catalogues keep the English
/// keys ASCII: any other text goes in as an argument.
std::string tr(const char* english, std::initializer_list<std::string_view> arguments);

} // namespace velmora
