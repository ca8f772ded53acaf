// A result list's rules, shared by both windows: the keys, a click and a drag past the edges, type-ahead,
// and the lists' names.
#include "window/commands/list_cursor.h"
#include "window/commands/list_texts.h"
#include "window/commands/row_store.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmora {
namespace {

TEST(ListCursor, KeysMoveTheSelectionWithinTheRows) {
    struct Case {
        const char* name;
        ListPlace list; // rows, current, top, page
        ListKey key;
        int row;
    };
    const Case cases[] = {
        {"Down selects the first", {100, -1, 0, 10}, ListKey::Down, 0},
        {"Up selects the first", {100, -1, 0, 10}, ListKey::Up, 0},
        {"Page Up selects the first", {100, -1, 0, 10}, ListKey::PageUp, 0},
        {"Page Down from none", {100, -1, 0, 10}, ListKey::PageDown, 9},
        {"Down", {100, 4, 0, 10}, ListKey::Down, 5},
        {"Up stays at the top", {100, 0, 0, 10}, ListKey::Up, 0},
        {"Down stays at the bottom", {100, 99, 90, 10}, ListKey::Down, 99},
        {"a page keeps one row in view", {100, 9, 0, 10}, ListKey::PageDown, 18},
        {"Page Up", {100, 18, 9, 10}, ListKey::PageUp, 9},
        {"Page Down stops at the last", {100, 95, 90, 10}, ListKey::PageDown, 99},
        {"a page of one row moves one", {100, 5, 5, 1}, ListKey::PageDown, 6},
        {"Home", {100, 50, 45, 10}, ListKey::Home, 0},
        {"End", {2'000'000'000, 3, 0, 10}, ListKey::End, 1'999'999'999},
        {"an empty list", {0, -1, 0, 10}, ListKey::End, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rowAfterKey(c.list, c.key), c.row);
    }
}

TEST(ListCursor, ViewScrollsAsLittleAsItCanAndDragsOneRowPastTheEdges) {
    const ListPlace list{1000, 40, 30, 10}; // rows 30 .. 39 in view, 16 pixels a row, 160 high
    EXPECT_EQ(topRowShowing(list, 35), 30);
    EXPECT_EQ(topRowShowing(list, 29), 29);
    EXPECT_EQ(topRowShowing(list, 40), 31);
    EXPECT_EQ(topRowShowing(list, 999), 990);

    struct Point {
        int y;
        int clicked;  // rowAtPointer
        int dragged;  // rowWhileDragging
        bool scrolls; // dragScrolls
    };
    for (const Point& p : {Point{0, 30, 30, false}, Point{159, 39, 39, false}, Point{160, 40, 40, true},
                           Point{5000, 342, 40, true}, Point{-1, -1, 29, true}, Point{-5000, -1, 29, true}}) {
        SCOPED_TRACE(p.y);
        EXPECT_EQ(rowAtPointer(list, p.y, 16), p.clicked);
        EXPECT_EQ(rowWhileDragging(list, p.y, 16, 160), p.dragged);
        EXPECT_EQ(dragScrolls(p.y, 160), p.scrolls);
    }
    // At the ends of the rows the drag stays on the first or the last; a click below the last row selects none.
    EXPECT_EQ(rowWhileDragging({5, 0, 0, 10}, -20, 16, 160), 0);
    EXPECT_EQ(rowWhileDragging({5, 4, 0, 10}, 500, 16, 160), 4);
    EXPECT_EQ(rowAtPointer({5, 4, 0, 10}, 5 * 16, 16), -1);
    EXPECT_EQ(rowWhileDragging({0, -1, 0, 10}, 5, 16, 160), -1);
}

TEST(ListCursor, TypedCharacterSelectsTheNextRowStartingWithItGoingRound) {
    RowStore store;
    const std::vector<std::int16_t> values{5, -3, 12, 7, 1, 50, -8, 0};
    std::vector<Solution> rows(values.size());
    for (std::size_t r = 0; r < rows.size(); ++r)
        rows[r].values[0] = values[r];
    store.append(rows);
    struct Case {
        int current;
        char32_t typed;
        int row;
    };
    for (const Case& c : {Case{-1, U'5', 0}, Case{0, U'5', 5}, Case{5, U'5', 0}, Case{-1, U'-', 1}, Case{1, U'-', 6},
                          Case{2, U'1', 4}, Case{4, U'1', 2}, Case{3, U'7', 3}, Case{-1, U'0', 7}, Case{0, U'9', -1},
                          Case{0, U'x', -1}, Case{0, U'５', -1}}) {
        SCOPED_TRACE(c.current);
        EXPECT_EQ(nextRowStartingWith(store, 1, {8, c.current, 0, 4}, c.typed), c.row) << char(c.typed);
    }
    EXPECT_EQ(nextRowStartingWith(store, 1, {0, -1, 0, 4}, U'5'), -1) << "an empty list";
}

// The rows' texts are checked through each window's lists; the names here.
TEST(ListTexts, ListsAreNamedAfterTheirColumn) {
    EXPECT_EQ(listAccessibleName(0, "ignored"), "合計");
    EXPECT_EQ(listAccessibleName(1, "りんご"), "りんご");
    EXPECT_EQ(listAccessibleName(2, "R&&D &x"), "R&D x");
    EXPECT_EQ(listAccessibleName(8, ""), "");
}

} // namespace
} // namespace velmora
