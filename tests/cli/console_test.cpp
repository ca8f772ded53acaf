// velmora-search.exe on a real console: the test makes a console of its own, starts the program attached
// to it as cmd.exe would, and reads back the characters the console shows. The program must show Japanese
// whatever the console's code page, keep the bytes of a redirected stream as they are, and still stop
// with status 4 when its output cannot be written. Run in a Japanese UI language (LC_ALL=ja_JP.UTF-8
// under wine), the program's own messages are Japanese too.
#include "cli/messages.h"
#include "cli/options.h"
#include "tests/temp_folder.h"
#include "platform/wide_text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

namespace velmora {
namespace {

using testing_support::TempFolder;

// The lines as a reader compares them: runs of blanks (a tab shows as spaces) become one space.
std::vector<std::string> comparable(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string out;
        for (char c : line) {
            const bool blank = c == ' ' || c == '\t' || c == '\r';
            if (!blank)
                out += c;
            else if (!out.empty() && out.back() != ' ')
                out += ' ';
        }
        if (!out.empty() && out.back() == ' ')
            out.pop_back();
        lines.push_back(out);
    }
    return lines;
}

// A console of the test's own, tall enough for every case, and read back cell by cell.
class Console {
public:
    Console() {
        FreeConsole();
        m_made = AllocConsole() != 0;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        m_screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherit, OPEN_EXISTING, 0, nullptr);
        // Read access only: the console is there, but nothing can be written to it.
        m_readOnly = CreateFileW(L"CONOUT$", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);
        SetConsoleScreenBufferSize(m_screen, COORD{100, kHeight});
    }
    ~Console() {
        CloseHandle(m_readOnly);
        CloseHandle(m_screen);
        FreeConsole();
    }

    bool ready() const { return m_made && m_screen != INVALID_HANDLE_VALUE; }
    HANDLE screen() const { return m_screen; }
    HANDLE readOnly() const { return m_readOnly; }

    void clear() {
        DWORD written = 0;
        FillConsoleOutputCharacterW(m_screen, L' ', 100 * kHeight, COORD{0, 0}, &written);
        SetConsoleCursorPosition(m_screen, COORD{0, 0});
    }

    // The lines shown above the cursor, as UTF-8, each ended by LF.
    std::string shown() const {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        GetConsoleScreenBufferInfo(m_screen, &info);
        std::string text;
        std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
        for (SHORT y = 0; y < info.dwCursorPosition.Y; ++y) {
            DWORD read = 0;
            ReadConsoleOutputCharacterW(m_screen, row.data(), info.dwSize.X, COORD{0, y}, &read);
            text += utf8FromWide(std::wstring_view(row.data(), read)) + "\n";
        }
        return text;
    }

private:
    static constexpr SHORT kHeight = 1200;
    bool m_made = false;
    HANDLE m_screen = INVALID_HANDLE_VALUE;
    HANDLE m_readOnly = INVALID_HANDLE_VALUE;
};

// Starts velmora-search.exe with `args` on the console and the given standard streams; its exit status.
DWORD runProgram(const std::string& args, HANDLE out, HANDLE err) {
    std::wstring command = L"\"" + wideFromUtf8(VELMORA_SEARCH_PROGRAM) + L"\" " + wideFromUtf8(args);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return 1000 + GetLastError();
    DWORD status = 2000;
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

std::string quoted(const std::filesystem::path& path) {
    std::string text = "\"";
    text += testing_support::utf8FromPath(path);
    return text += '"';
}

constexpr const char* kExampleHeader = "合計\tりんご\tみかん\tバナナ\tぶどう\tもも\tメロン\tいちご\tなし";

TEST(Console, ShowsJapaneseAndKeepsRedirectedBytes) {
    Console console;
    ASSERT_TRUE(console.ready()) << GetLastError();
    useUserLanguage(); // the expected help is the program's, in the same UI language
    ASSERT_TRUE(usageText().starts_with("使い方：velmora-search")) << "not a Japanese UI language";

    TempFolder folder("velmora-console");
    const std::string example = quoted(std::filesystem::path(VELMORA_SOURCE_DIR) / "examples" / "text-2x.ini");
    // 600 rows of term 1 + term 2 = 0: more text than the program hands the console in one piece.
    std::string many = "0\r\n";
    for (int k = 0; k < 8; ++k)
        many += "h\r\n";
    many += "1\r\n-1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n599\r\n0\r\n599\r\n";
    for (int k = 0; k < 12; ++k)
        many += "0\r\n";
    testing_support::writeFile(folder.path() / "many.ini", many);
    const std::filesystem::path outFile = folder.path() / "out.txt";

    enum class Out { Console, ReadOnlyConsole, File, ReadOnlyFile };
    struct Case {
        std::string args;
        Out out;
        DWORD status;
        std::string shown; // the whole screen, or with `startOnly` its first lines
        bool startOnly = false;
        std::string file = {}; // the bytes stdout wrote to a file
    };
    const std::string header = std::string(kExampleHeader) + "\n";
    std::string manyRows;
    for (int v = 0; v < 600; ++v)
        manyRows += "0\t" + std::to_string(v) + "\t" + std::to_string(v) + "\t0\t0\t0\t0\t0\t0\n";
    const Case cases[] = {
        {"--header " + example, Out::Console, 0, header + "1500\t0\t4\t5\t1\t0\t0\t0\t0\n", true},
        {"--help", Out::Console, 0, usageText()},
        {"--bogus", Out::Console, 2,
         "velmora-search: 「--bogus」というオプションはありません。\n使い方は「velmora-search --help」で表示されます。\n"},
        {"--count " + quoted(folder.path() / "missing.ini"), Out::Console, 1, "text-2x.iniが見当たりません\n", true},
        {quoted(folder.path() / "many.ini"), Out::Console, 0, manyRows},
        // Redirected: the bytes as on every platform, nothing on the console.
        {"--header " + example, Out::File, 0, "", false, header},
        {"--csv " + example, Out::File, 0, "", false, "\xEF\xBB\xBF合計,りんご,"},
        // Output that cannot be written: status 4 and the reason, through the console or not.
        {"--help", Out::ReadOnlyConsole, 4, "velmora-search: 出力を書き込めません（", true},
        {"--help", Out::ReadOnlyFile, 4, "velmora-search: 出力を書き込めません（", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        console.clear();
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE file = INVALID_HANDLE_VALUE;
        if (c.out == Out::File || c.out == Out::ReadOnlyFile) {
            testing_support::writeFile(outFile, "");
            file = CreateFileW(outFile.c_str(), c.out == Out::File ? GENERIC_WRITE : GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
        }
        const HANDLE out = c.out == Out::Console ? console.screen()
                           : c.out == Out::ReadOnlyConsole ? console.readOnly() : file;
        const DWORD status = runProgram(c.args, out, console.screen());
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        EXPECT_EQ(status, c.status);
        const std::vector<std::string> shown = comparable(console.shown());
        std::vector<std::string> expected = comparable(c.shown);
        if (c.startOnly && shown.size() >= expected.size() && !expected.empty()) {
            const std::vector<std::string> start(shown.begin(), shown.begin() + expected.size());
            EXPECT_EQ(start.back().rfind(expected.back(), 0), 0u) << start.back();
            expected.pop_back();
            EXPECT_EQ(std::vector<std::string>(start.begin(), start.end() - 1), expected);
        } else {
            EXPECT_EQ(shown, expected);
        }
        if (c.out == Out::File) {
            const std::string bytes = testing_support::readFile(outFile);
            EXPECT_EQ(bytes.substr(0, c.file.size()), c.file);
            EXPECT_EQ(bytes.find("\r") == std::string::npos, c.args.starts_with("--header")); // LF alone, CR LF for CSV
        }
    }
}

} // namespace
} // namespace velmora
