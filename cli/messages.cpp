// The language of velmora-search's own messages. Linux uses gettext with the catalogue compiled from
// cli/po/ja.po; Windows has no gettext, so the same compiled catalogue is built into the program and read
// by MessageCatalogue, and the user's UI language decides whether it is used.
#include "cli/messages.h"

#ifdef _WIN32
#include "cli/message_catalogue.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <clocale>
#include <filesystem>
#include <langinfo.h>
#include <libintl.h>
#include <string_view>
#include <system_error>
#endif

namespace velmora {
namespace {

#ifdef _WIN32

const MessageCatalogue* g_catalogue = nullptr; // none: English

#else

constexpr const char* kDomain = "velmora-search";

// Where the catalogues are: beside the installed program (../share/locale from bin/, for any prefix the
// package is installed to), or, for the program in the build folder, the folder the build compiled them
// into. Without /proc the program is taken as installed where it was configured to go.
std::filesystem::path catalogueFolder() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return VELMORA_INSTALLED_LOCALE_DIR;
    const fs::path folder = program.parent_path();
    if (fs::equivalent(folder, VELMORA_BUILD_DIR, error))
        return VELMORA_BUILD_LOCALE_DIR;
    return folder / VELMORA_LOCALE_DIR_FROM_PROGRAM;
}

#endif

} // namespace

void useUserLanguage() {
#ifdef _WIN32
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE)
        g_catalogue = &japaneseCatalogue();
#else
    // Only the two categories that messages need: LC_NUMERIC and the rest stay "C", so nothing that the
    // program writes besides its messages can change with the locale.
    std::setlocale(LC_MESSAGES, "");
    std::setlocale(LC_CTYPE, "");
    // The program writes UTF-8 in every locale. In a locale of another character set the system's
    // reasons (strerror) would come in that set, so the character type becomes UTF-8's.
    if (std::string_view(nl_langinfo(CODESET)) != "UTF-8")
        std::setlocale(LC_CTYPE, "C.UTF-8");
    bindtextdomain(kDomain, catalogueFolder().c_str());
    bind_textdomain_codeset(kDomain, "UTF-8");
#endif
}

std::string tr(const char* english) {
#ifdef _WIN32
    if (g_catalogue)
        if (const char* translated = g_catalogue->find(english))
            return translated;
    return english;
#else
    return dgettext(kDomain, english);
#endif
}

std::string tr(const char* english, std::initializer_list<std::string_view> arguments) {
    const std::string text = tr(english);
    std::string out;
    std::size_t from = 0;
    for (const std::string_view argument : arguments) {
        const std::size_t at = text.find("%s", from);
        if (at == std::string::npos)
            break;
        out.append(text, from, at - from).append(argument);
        from = at + 2;
    }
    return out.append(text, from);
}

} // namespace velmora
