#include "window/commands/row_export.h"

#include "search/number_text.h"
#include "search/result_text.h"
#include "search/run_time_error.h"
#include "window/commands/row_store.h"
#include "window/commands/safe_file.h"
#include "window/commands/window_commands.h"

#include <array>
#include <new>
#include <vector>

namespace velmora {

namespace {

constexpr std::size_t kPieceSize = std::size_t{1} << 16;
// The longest row: nine numbers, eight tabs, CR LF.
constexpr std::size_t kMaxRowText = 9 * kMaxNumberText + 8 + 2;

char* writeRow(char* out, const RowStore& store, std::size_t row) {
    out = writeNumberText(out, store.cell(row, 0));
    for (int column = 1; column < RowStore::kColumnCount; ++column) {
        *out++ = '\t';
        out = writeNumberText(out, store.cell(row, column));
    }
    *out++ = '\r';
    *out++ = '\n';
    return out;
}

std::size_t textLength(std::int32_t value) {
    std::size_t length = value < 0 ? 2 : 1;
    for (std::int64_t rest = value < 0 ? -std::int64_t{value} : value; rest >= 10; rest /= 10)
        ++length;
    return length;
}

// A spreadsheet reads pasted text as tab-separated fields: a field that holds a tab, a line break or a
// double quote goes in double quotes, each double quote in it doubled, so that it stays one cell.
void appendField(std::string& out, std::string_view text) {
    if (text.find_first_of("\t\r\n\"") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

std::string headingRow(const SearchSetup& setup) {
    std::string row = "合計";
    for (const TermSpec& term : setup.terms) {
        row += '\t';
        appendField(row, term.heading);
    }
    return row + "\r\n";
}

// 1048576 as "1,048,576".
std::string grouped(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

std::string utf8Name(const std::filesystem::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

} // namespace

ClipboardText ClipboardText::oneRow(const RowStore& store, std::size_t row) {
    std::array<char, kMaxRowText> text{};
    return ClipboardText(std::string(text.data(), writeRow(text.data(), store, row)), nullptr);
}

ClipboardText ClipboardText::allRows(const SearchSetup& setup, const RowStore& store) {
    return ClipboardText(headingRow(setup), &store);
}

std::size_t ClipboardText::rowsLength() const {
    if (!m_store)
        return 0;
    std::size_t length = 0;
    for (std::size_t row = 0; row < m_store->size(); ++row) {
        length += textLength(m_store->cell(row, 0)) + 8 + 2;
        for (int column = 1; column < RowStore::kColumnCount; ++column)
            length += textLength(m_store->cell(row, column));
    }
    return length;
}

void ClipboardText::writeRows(const std::function<void(std::string_view)>& piece) const {
    if (!m_store)
        return;
    std::vector<char> buffer(kPieceSize);
    char* out = buffer.data();
    for (std::size_t row = 0; row < m_store->size(); ++row) {
        if (out + kMaxRowText > buffer.data() + buffer.size()) {
            piece(std::string_view(buffer.data(), static_cast<std::size_t>(out - buffer.data())));
            out = buffer.data();
        }
        out = writeRow(out, *m_store, row);
    }
    if (out != buffer.data())
        piece(std::string_view(buffer.data(), static_cast<std::size_t>(out - buffer.data())));
}

std::string ClipboardText::text() const {
    std::string all = m_head;
    all.reserve(m_head.size() + rowsLength());
    writeRows([&](std::string_view piece) { all += piece; });
    return all;
}

std::pair<std::string, std::string> tooManyRowsMessage(std::size_t rows) {
    return {"行が多すぎるため、コピーしませんでした。",
            "結果は " + grouped(rows) + " 行あり、見出しの 1 行と合わせると、Excel の 1 枚のシートに入る " +
                grouped(kSpreadsheetRows) + " 行を超えます。\nメニューの「CSV で保存」でファイルに保存してください。"};
}

std::string saveCsvFile(const std::filesystem::path& target, const SearchSetup& setup, const RowStore& store) {
    return writeFileWhole(target, [&](ByteSink& out) {
        writeHeader(out, setup, RowFormat::Csv);
        RowWriter writer(out, RowFormat::Csv);
        std::array<Solution, 1024> batch{};
        for (std::size_t row = 0; row < store.size();) {
            std::size_t n = 0;
            for (; n < batch.size() && row < store.size(); ++n, ++row) {
                batch[n].sum = store.cell(row, 0);
                for (int k = 0; k < SearchSetup::kTermCount; ++k)
                    batch[n].values[static_cast<std::size_t>(k)] = static_cast<std::int16_t>(store.cell(row, k + 1));
            }
            writer.accept(std::span<const Solution>(batch.data(), n));
        }
        writer.flush();
    });
}

bool RowExport::hasRows() const { return m_commands.rows().size() > 0; }

void RowExport::copyRow(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= m_commands.rows().size())
        return;
    const std::string reason =
        m_view.putOnClipboard(ClipboardText::oneRow(m_commands.rows(), static_cast<std::size_t>(row)));
    if (!reason.empty())
        m_view.showMessage("クリップボードにコピーできませんでした。", reason);
}

void RowExport::copyAllRows() {
    const std::size_t rows = m_commands.rows().size();
    if (rows == 0)
        return;
    if (!fitsInSpreadsheet(rows)) {
        const auto [text, detail] = tooManyRowsMessage(rows);
        m_view.showMessage(text, detail);
        return;
    }
    m_view.setBusy(true);
    std::string reason;
    try {
        reason = m_view.putOnClipboard(ClipboardText::allRows(m_commands.setup(), m_commands.rows()));
    } catch (const std::bad_alloc&) {
        reason = RunTimeError::outOfMemory().report();
    }
    m_view.discardQueuedInput();
    m_view.setBusy(false);
    if (!reason.empty())
        m_view.showMessage("クリップボードにコピーできませんでした。", reason);
}

void RowExport::saveCsv() {
    if (!hasRows())
        return;
    const std::optional<std::filesystem::path> target = m_view.askSavePath();
    if (!target)
        return;
    m_view.setBusy(true);
    std::string reason;
    try {
        reason = saveCsvFile(*target, m_commands.setup(), m_commands.rows());
    } catch (const std::bad_alloc&) {
        reason = RunTimeError::outOfMemory().report();
    }
    m_view.discardQueuedInput();
    m_view.setBusy(false);
    if (!reason.empty())
        m_view.showMessage("「" + utf8Name(*target) + "」を保存できませんでした。", reason);
}

} // namespace velmora
