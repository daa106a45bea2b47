// Numbers into pictures, and the date and time settings.
#include "ui/numbers_dates.h"

#include <cstring>

WORD gDateFormat = 1;
DWORD gTwelveHourClock = 0;
// gThousandsSep belongs to the settings reader, which sets it from QBK.INI.

void FormatNumberPicture(char* dst, int64_t value, const char* picture) {
    char digits[24];
    snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
    const int nDigits = int(strlen(digits));
    char pic[21];
    snprintf(pic, sizeof pic, "%s", picture);
    const int length = int(strlen(pic));
    // The places of the whole part end at the decimal mark.
    const char* mark = strchr(pic, '.');
    const int whole = mark ? int(mark - pic) : length;
    int places = 0;
    for (int i = 0; i < whole; i++)
        if (pic[i] == '#') places++;
    for (int i = 0; i < whole && places < nDigits; i++)
        if (pic[i] == ',') {
            pic[i] = '#';
            places++;
        }
    if (places < nDigits) {
        snprintf(dst, 24, "%s", digits);
        return;
    }
    char out[21];
    std::memcpy(out, pic, size_t(length) + 1);
    for (int i = whole; i < length; i++)
        if (out[i] == '#') out[i] = '0';
    int next = nDigits - 1; // the next digit to place, from the right
    int leftmost = whole;   // the leftmost place the number took
    for (int i = whole - 1; i >= 0 && next >= 0; i--) {
        if (pic[i] == '#') {
            out[i] = digits[next--];
            leftmost = i;
        } else if (pic[i] == ',') {
            out[i] = gThousandsSep;
            leftmost = i;
        }
    }
    const char fill = pic[0];
    const bool filled = fill != '#' && fill != ',';
    for (int i = leftmost - 1; i >= 0; i--) {
        if (filled && (i == leftmost - 1 || pic[1] == fill))
            out[i] = fill;
        else
            out[i] = ' ';
    }
    snprintf(dst, 24, "%s", out);
}
