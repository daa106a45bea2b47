// Name cells: escaped bytes shown readably, double-width characters given
// their second cell, rows cut by cells.
#include "ui/shown_names.h"

#include "qposix_cells.h"
#include "qposix_path.h"

namespace {

constexpr WCHAR kReplacement = u'\uFFFD';

bool IsHigh(WCHAR u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(WCHAR u) { return u >= 0xDC00 && u <= 0xDFFF; }

} // namespace

void AppendShownName(std::u16string& cells, std::u16string_view name) {
    for (size_t i = 0; i < name.size(); i++) {
        const WCHAR u = name[i];
        if (u == QPOSIX_NAME_ESCAPE_BACKSLASH) {
            cells += u'\\';
        } else if (u == QPOSIX_NAME_ESCAPE_STAR) {
            cells += u'*';
        } else if (u == QPOSIX_NAME_ESCAPE_QUESTION) {
            cells += u'?';
        } else if (IsHigh(u)) {
            // A cell holds one unit: a pair cannot stand in it whole.
            if (i + 1 < name.size() && IsLow(name[i + 1])) i++;
            cells += kReplacement;
        } else if (IsLow(u)) {
            cells += kReplacement;
        } else {
            cells += u;
            if (ConsoleUnitCells(u) == 2) cells += u' ';
        }
    }
}

void CutShownCells(std::u16string& cells, size_t width, WCHAR mark) {
    if (cells.size() <= width) return;
    cells.resize(width);
    if (width == 0) return;
    // Every double-width character is followed by its blank, so the one
    // left of the mark has lost its right half when it is double-width.
    if (width >= 2 && ConsoleUnitCells(cells[width - 2]) == 2) cells[width - 2] = u' ';
    cells[width - 1] = mark;
}
