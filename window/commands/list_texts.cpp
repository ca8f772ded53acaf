#include "window/commands/list_texts.h"

#include "search/number_text.h"
#include "window/commands/access_keys.h"
#include "window/commands/row_store.h"

namespace velmora {

std::string cellText(const RowStore& store, std::size_t row, int column) {
    return numberText(store.cell(row, column));
}

char leadingCharacter(std::int32_t value) {
    if (value < 0)
        return '-';
    while (value >= 10)
        value /= 10;
    return static_cast<char>('0' + value);
}

std::string listAccessibleName(int column, std::string_view heading) {
    // '&' never stands inside a multi-byte UTF-8 character, so the marks come out byte by byte.
    return column == 0 ? std::string("合計") : parseAccessKeys(heading).shown;
}

} // namespace velmora
