// Name cells: what a drawer puts on screen for a name, one unit per cell,
// and how a row of such cells is cut to its width.
#include "ui/shown_names.h"

#include "tree_builder.h"

#include <gtest/gtest.h>

namespace {

std::string Narrow(const std::u16string& s) { return qtest::NarrowText(s); }

TEST(ShownNames, EveryKindOfUnitGetsReadableCells) {
    const struct {
        std::u16string name;
        std::u16string cells;
        const char* what;
    } rows[] = {
        {u"plain", u"plain", "ASCII as it is"},
        {u"caf\u00E9", u"caf\u00E9", "a narrow accented letter"},
        {u"a\xDCE9z", u"a\uFFFDz", "a byte that was not UTF-8"},
        {u"\xDC80\xDCFF", u"\uFFFD\uFFFD", "both ends of the byte escape"},
        {u"x\xDC5Cy", u"x\\y", "an escaped backslash"},
        {u"s\xDC2A\xDC3F", u"s*?", "escaped wildcards"},
        {u"\u65E5\u672C", u"\u65E5 \u672C ", "double-width characters take two cells"},
        {u"a\uAC00b", u"a\uAC00 b", "a Hangul syllable"},
        {u"\xD83D\xDE00!", u"\uFFFD!", "a pair beyond U+FFFF is one cell"},
        {u"\xD800q", u"\uFFFDq", "a lone high surrogate"},
        {u"\xDC00", u"\uFFFD", "a lone low surrogate outside the escapes"},
    };
    for (const auto& row : rows) {
        std::u16string cells = u">";
        AppendShownName(cells, row.name);
        EXPECT_EQ(cells, u">" + row.cells) << row.what << ": " << Narrow(cells);
    }
}

TEST(ShownNames, RowsAreCutByCells) {
    const std::u16string wide = u"\u65E5 ";
    const struct {
        std::u16string cells;
        size_t width;
        std::u16string cut;
        const char* what;
    } rows[] = {
        {u"abcdef", 6, u"abcdef", "a row that fits stays whole"},
        {u"abcdefg", 6, u"abcde\u25BA", "a longer row ends in the mark"},
        {u"ab" + wide + wide, 5, u"ab\u65E5 \u25BA", "the mark lands on a wide character's left half"},
        {u"a" + wide + wide + wide, 5, u"a\u65E5  \u25BA", "the mark takes a wide character's right half: its left half becomes a blank"},
        {u"a" + wide + wide, 4, u"a\u65E5 \u25BA", "a wide character that fits before the mark stays"},
        {u"xy", 0, u"", "no width"},
    };
    for (const auto& row : rows) {
        std::u16string cells = row.cells;
        CutShownCells(cells, row.width, u'\u25BA');
        EXPECT_EQ(cells, row.cut) << row.what << ": " << Narrow(cells);
    }
}

} // namespace
