// The clock thread and its tick: the status line's time and date, the busy
// marks and Esc while busy, the recording and repeat indicators, the error
// dialog's countdown and the day change of the "TODAY" filters.
#include "settings/clock.h"

#include "main/window_state.h"
#include "menu/macros.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/colours.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/find_log.h"
#include "ui/numbers_dates.h"
#include "ui/progress.h"

#include <cstdio>
#include <cstring>

std::atomic<BOOL> gClockLongDate{FALSE};
std::atomic<BOOL> gClockShown{TRUE};
std::atomic<BOOL> gClockKeysOff{FALSE};
ErrorCountdownState gErrorCountdown{};

namespace {

constexpr DWORD kCountdownTicks[8] = {10, 30, 100, 300, 600, 1800, 6000, 18000};

constexpr DWORD kPeriod = 250;
constexpr DWORD kFastPeriod = 100;

// The busy mark's frames: a vertical line (code page 437), '\', '-', '/'.
constexpr char kBusyFrames[4] = {char(0xB3), '\\', '-', '/'};

// Short names, so that the long date ends before the time at column 21.
const char* const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

BOOL FourDigitYears() { return gDateFormat >= 3 && gDateFormat <= 5; }

// The date's day number; 0 for a date the day-number helpers cannot take.
DWORD DayNumber(const SYSTEMTIME& now) {
    if (now.wMonth < 1 || now.wMonth > 12 || now.wYear < 1) return 0;
    return JulianDay(DateRecord{BYTE(now.wDay), BYTE(now.wMonth), now.wYear});
}

// The runs left of a repeated macro: the 11 cells of "###,###,###" that
// end one blank before the indicator.
constexpr int kRunsFieldWidth = 11;
int RunsFieldColumn() { return gScreenMaxCol - kRunsFieldWidth - 1; }

bool HasToday(const WCHAR* text) {
    for (const WCHAR* p = text; *p; ++p) {
        static const char kWord[] = "TODAY";
        size_t i = 0;
        while (kWord[i] && p[i] && (p[i] == WCHAR(kWord[i]) || p[i] == WCHAR(kWord[i] + 32))) i++;
        if (!kWord[i]) return true;
    }
    return false;
}

void MoveTodayItems(FilespecItem* items, DWORD count, void* context) {
    const int delta = *static_cast<const int*>(context);
    for (DWORD i = 0; items && i < count; i++) {
        FilespecItem& item = items[i];
        if (item.kind != FS_DATE || !HasToday(item.pattern)) continue;
        int year = int(item.date >> 9);
        int month = int(item.date >> 5 & 0xF);
        int day = int(item.date & 0x1F);
        DateAddDays(year, month, day, delta);
        item.date = PackDate(unsigned(year), unsigned(month), unsigned(day));
    }
}

// Columns of the status line for the screen width and window.
int ShortDateColumn() {
    const int width = gScreenCols;
    if (gWindowMode == WM_INFO_SCREEN) return 59 + (width > 80 ? width / 2 - 40 : 0);
    return width - 20;
}
int TimeColumn() {
    const int width = gScreenCols;
    const int extra = FourDigitYears() ? 2 : 0;
    if (gWindowMode == WM_INFO_SCREEN) return (width > 80 ? width / 2 + 28 : 68) + extra;
    return width - 11 + extra;
}
int LongDateRow() { return gSettings.bBriefExecHeadings ? 0 : 1; }

void DrawDate(const SYSTEMTIME& now) {
    if (gClockLongDate) {
        char text[64];
        snprintf(text, sizeof text, "%s %2d %s, %d", kWeekdays[now.wDayOfWeek % 7], int(now.wDay),
                 kMonths[(now.wMonth + 11) % 12], int(now.wYear));
        ScrPutStr(LongDateRow(), 2, text, gColourTable[COLOUR_FRAMES]);
    } else if (gClockShown) {
        char text[16];
        FormatDateText(now, gDateFormat, FourDigitYears(), text);
        ScrPutStr(0, ShortDateColumn(), text, gColourTable[COLOUR_FRAMES]);
    }
}

void DrawTime(const char* text) {
    const BYTE attr = gColourTable[COLOUR_FRAMES_COPY];
    if (gClockLongDate)
        ScrPutStr(LongDateRow(), 21, text, attr);
    else if (gClockShown)
        ScrPutStr(0, TimeColumn(), text, attr);
}

// Keys typed while busy: Esc asks the busy operation to stop. Other keys
// stay typed ahead for the main thread, unless the operation asked for any
// key to stop it: then they are taken as the request and not kept.
void ReadBusyKeys() {
    for (int i = 0; i < 64; i++) {
        INPUT_RECORD record;
        DWORD pending = 0;
        if (!gConIn || !PeekConsoleInputA(gConIn, &record, 1, &pending) || pending == 0) return;
        const bool anyKey = gInterruptOnAnyKey.load() != 0;
        const KeyCode key = KbdFlush(anyKey ? TRUE : FALSE);
        if (key == KC_ESC) {
            gInterruptRequested = 1;
            if (MacroRecordingActive()) KeyLogMacroRecord(KEYLOG_KEY, KC_ESC, 0, nullptr);
            return;
        }
        if (key != 0 && anyKey) {
            gInterruptRequested = 1;
            return;
        }
    }
}

// The four corners of the window area, where SetBusy saved the cells.
void DrawBusyFrame(int frame) {
    gBusyDrawing = 1;
    if (gBusyFlag) {
        const char text[2] = {kBusyFrames[frame & 3], 0};
        const BYTE attr = gColourTable[COLOUR_TAGN];
        const int rows[2] = {1, gMessageRow - 1};
        const int columns[2] = {0, gScreenMaxCol};
        for (int row : rows)
            for (int column : columns) ScrPutStr(row, column, text, attr);
    }
    gBusyDrawing = 0;
}

// The indicator at the right end of the message row: "R" while a macro is
// recorded; "P" while a macro runs with more runs to come, with the runs
// left (the current one counted) beside it on the same row. Each blinks,
// one change per period, and the count shows in the phases where "P" does.
// The key reader draws its own count on the bottom row, so the two never
// share a cell.
void DrawIndicator(ClockState* state) {
    const BYTE attr = gColourTable[COLOUR_FRAMES];
    const int row = gMessageRow;
    const bool recording = MacroRecordingActive() != FALSE;
    const int32_t runs = recording ? 0 : MacroRunsLeft();
    const char letter = recording ? 'R' : runs > 1 ? 'P' : 0;
    if (letter) {
        state->indicatorOn = !state->indicatorOn;
        const char text[2] = {state->indicatorOn ? letter : ' ', 0};
        ScrPutStr(row, gScreenMaxCol, text, attr);
        state->indicatorDrawn = TRUE;
    } else if (state->indicatorDrawn) {
        ScrPutStr(row, gScreenMaxCol, " ", attr);
        state->indicatorOn = FALSE;
        state->indicatorDrawn = FALSE;
    }
    // "###,###,###" and one blank before the letter (the picture takes 24
    // bytes of room).
    char count[24];
    if (letter == 'P' && state->indicatorOn) {
        FormatNumberPicture(count, runs, "###,###,###");
        std::strcat(count, " ");
        ScrPutStr(row, RunsFieldColumn(), count, attr);
        state->countDrawn = TRUE;
    } else if (state->countDrawn) {
        std::memset(count, ' ', kRunsFieldWidth + 1);
        count[kRunsFieldWidth + 1] = 0;
        ScrPutStr(row, RunsFieldColumn(), count, attr);
        state->countDrawn = FALSE;
    }
}

// One tenth of a second of the error dialog's countdown; TRUE while it runs.
bool CountDown() {
    if (!gErrorCountdown.open || gSettings.bErrorTimeout == 0) return false;
    DWORD ticks = gErrorCountdown.ticks;
    if (ticks == 0) return false;
    // The dialog may close meanwhile: only the thread that takes the last
    // tick queues the answer.
    if (!gErrorCountdown.ticks.compare_exchange_strong(ticks, ticks - 1)) return true;
    --ticks;
    if (ticks == 0) {
        KbdPushKey(KeyCode(ErrorCountdownLetter(gErrorCountdown.search)));
        return false;
    }
    if (ticks % 10 == 0) {
        char text[16];
        snprintf(text, sizeof text, "%5lus", static_cast<unsigned long>(ticks / 10));
        ScrPutStr(gErrorCountdown.row, 48, text, gColourTable[COLOUR_FRAMES]);
    }
    return true;
}

// ---- the thread --------------------------------------------------------------------------

HANDLE gClockThread = nullptr;
std::atomic<BOOL> gClockRunning{FALSE};

DWORD ClockThread(LPVOID) {
    ClockState state;
    ClockStateInit(&state);
    for (;;) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        Sleep(ClockTick(&state, now));
    }
}

} // namespace

DWORD ErrorCountdownTicks(BYTE choice) {
    return choice >= 1 && choice <= 8 ? kCountdownTicks[choice - 1] : 0;
}

char ErrorCountdownLetter(BOOL search) {
    const BYTE letter = search ? gSettings.bSearchErrorDefault : gSettings.bErrorDefault;
    return letter ? char(letter) : 'C';
}

BOOL ErrorCountdownStart(int row, BOOL search) {
    const DWORD ticks = ErrorCountdownTicks(gSettings.bErrorTimeout);
    gErrorCountdown.row = row;
    gErrorCountdown.search = search;
    gErrorCountdown.ticks = ticks;
    gErrorCountdown.open = TRUE;
    return ticks != 0;
}

void ErrorCountdownStop() {
    gErrorCountdown.open = FALSE;
    gErrorCountdown.ticks = 0;
}

void DateAddDays(int& year, int& month, int& day, int delta) {
    if (month < 1 || month > 12 || year < 1 || year > 9999) return;
    // Counted from the first of the month, so that a day beyond the month's
    // end (31 April) still counts on.
    const LONGLONG number = LONGLONG(JulianDay(DateRecord{1, BYTE(month), WORD(year)})) + day - 1 + delta;
    const LONGLONG first = JulianDay(DateRecord{1, 1, 1});
    const LONGLONG last = JulianDay(DateRecord{31, 12, 9999});
    const DateRecord date = DateFromJulianDay(DWORD(number < first ? first : number > last ? last : number));
    year = date.year;
    month = date.month;
    day = date.day;
}

void ParseDateText(int& year, int& month, int& day, const char* text) {
    int numbers[3] = {0, 0, 0};
    const char* p = text ? text : "";
    for (int& n : numbers) {
        while (*p == ' ') ++p;
        while (*p >= '0' && *p <= '9') {
            if (n < 100000) n = n * 10 + (*p - '0');
            ++p;
        }
        if (*p == '-' || *p == '.' || *p == '/') ++p;
    }
    int d = 0, m = 0, y = 0;
    switch (gDateFormat) {
    case 0:
    case 3:
        d = numbers[0], m = numbers[1], y = numbers[2];
        break;
    case 1:
    case 4:
        m = numbers[0], d = numbers[1], y = numbers[2];
        break;
    case 2:
    case 5:
        y = numbers[0], m = numbers[1], d = numbers[2];
        break;
    default:
        year = 2000, month = 0, day = 0;
        return;
    }
    if (y <= 1600) y += y < 80 ? 2000 : 1900;
    year = y, month = m, day = d;
}

void MidnightStep(int delta) {
    if (delta == 0) return;
    for (size_t pane = 0; pane < 2; pane++)
        MoveTodayItems(gFilterSlots[pane].items, gFilterSlots[pane].count, &delta);
    ForEachColourRuleFilespec(MoveTodayItems, &delta);
}

void ClockStateInit(ClockState* state) {
    std::memset(state, 0, sizeof *state);
    state->lastMinute = -1;
}

DWORD ClockTick(ClockState* state, const SYSTEMTIME& now) {
    const bool busy = gBusyFlag != 0;
    char time[16];
    FormatClockText(now, gTwelveHourClock != 0, FourDigitYears(), time);
    if (std::strcmp(time, state->lastTime) != 0) {
        std::memcpy(state->lastTime, time, sizeof time);
        // The date is looked at when the minute changes; while busy only at
        // the busy mark's first frame, so that the date's redraw and the
        // filters' change fall between two marks.
        // The minute counts with its day, so that a jump to the same minute
        // of another day is seen too.
        const DWORD dayNumber = DayNumber(now);
        const LONGLONG minute = LONGLONG(dayNumber) * 1440 + now.wHour * 60 + now.wMinute;
        if (minute != state->lastMinute && (!busy || state->frame == 0)) {
            state->lastMinute = minute;
            // The filters move by the days that passed: a machine that slept
            // over several midnights, or a clock set back, keeps "TODAY"
            // right.
            if (state->lastDay != 0 && dayNumber != 0 && dayNumber != state->lastDay)
                MidnightStep(int(LONGLONG(dayNumber) - LONGLONG(state->lastDay)));
            if (dayNumber != 0) state->lastDay = dayNumber;
            DrawDate(now);
        }
        DrawTime(time);
    }

    DWORD period = kPeriod;
    if (busy) {
        if (!gErrorCountdown.open && !gClockKeysOff && !gFindLogActive) ReadBusyKeys();
        DrawBusyFrame(state->frame);
        state->frame = (state->frame + 1) & 3;
        period = kFastPeriod;
    } else {
        state->frame = 0;
    }
    ConsoleTrackWindow();
    DrawIndicator(state);
    if (CountDown()) period = kFastPeriod;
    return period;
}

void StatusThreadControl(int run) {
    if (run) {
        if (!gClockThread) {
            gClockThread = CreateThread(nullptr, 12288, ClockThread, nullptr, CREATE_SUSPENDED, nullptr);
            if (!gClockThread) return;
        }
        if (!gClockRunning) {
            ResumeThread(gClockThread);
            gClockRunning = TRUE;
        }
        return;
    }
    if (gClockRunning && gClockThread) {
        SuspendThread(gClockThread);
        gClockRunning = FALSE;
    }
}

void DrawClockNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char time[16];
    FormatClockText(now, gTwelveHourClock != 0, FourDigitYears(), time);
    DrawDate(now);
    DrawTime(time);
}

BOOL StatusThreadRunning() { return gClockRunning; }
