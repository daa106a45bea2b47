// The progress line of long operations with its clock, texts and the copy
// command's throughput model, and the nested busy state with its corner
// cells.
#include "ui/progress.h"
#include "main/startup_options.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/settings.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/copy_prompts.h"
#include "ui/questions.h"
#include "ui/ui_test_hook.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

std::atomic<DWORD> gBusyFlag{0};
std::atomic<DWORD> gBusyDrawing{0};
std::atomic<DWORD> gInterruptRequested{0};
std::atomic<DWORD> gInterruptOnAnyKey{0};

namespace {

WORD gBusyDepth = 0;
std::atomic<DWORD> gBusyWaitsExpired{0};

struct Corner {
    int row;
    int column;
    WCHAR character;
    BYTE attr;
};
Corner gCorners[4] = {};

ProgressState gProgress = [] {
    ProgressState s{};
    s.lastPercent = 200;
    s.timingShown = 1;
    s.kiloUnit = 1024;
    return s;
}();
ThroughputState gModel = {};

DWORD SystemTicks() {
    return GetTickCount();
}
BOOL SystemCounter(LONGLONG* now) {
    LARGE_INTEGER value;
    if (!QueryPerformanceCounter(&value)) return FALSE;
    *now = value.QuadPart;
    return TRUE;
}
BOOL SystemFrequency(LONGLONG* frequency) {
    LARGE_INTEGER value;
    if (!QueryPerformanceFrequency(&value)) return FALSE;
    *frequency = value.QuadPart;
    return TRUE;
}
const ProgressClock kSystemClock = {SystemTicks, SystemCounter, SystemFrequency};
const ProgressClock* gClock = &kSystemClock;

LONGLONG CounterNow() {
    LONGLONG now = 0;
    return gClock->counter(&now) ? now : 0;
}

void ProgressStep(int mode, LONGLONG n);

} // namespace

void ProgressSetClock(const ProgressClock* clock) {
    gClock = clock ? clock : &kSystemClock;
}

// ---- busy state --------------------------------------------------------------------------

void SetBusy(int on) {
    if (on) {
        if (++gBusyDepth == 1) {
            const int rows[2] = {1, gMessageRow - 1};
            const int columns[2] = {0, gScreenMaxCol};
            int k = 0;
            for (int row : rows)
                for (int column : columns) {
                    Corner& c = gCorners[k++];
                    c.row = row;
                    c.column = column;
                    ScrGetWChars(row, column, &c.character, 1);
                    c.attr = ScrGetAttr(row, column);
                }
            gInterruptRequested = 0;
            // A timed progress line stays on the screen instead of a busy
            // state of its own (the line is drawn again, as after a question).
            if (gProgress.timingShown && gProgress.timedActive)
                ProgressStep(2, 0);
            else
                TaskbarProgressState(1);
        }
        gBusyFlag = 1;
        return;
    }
    if (gBusyDepth > 0 && --gBusyDepth > 0) return;
    // Sequentially consistent stores: the clock thread, which checks the
    // flag before it raises its drawing flag, either sees the flag down or is
    // seen drawing below.
    gBusyFlag = 0;
    gInterruptRequested = 0;
    int waited = 0;
    for (; waited < 50 && gBusyDrawing; waited++)
        Sleep(1);
    if (waited == 50 && gBusyDrawing) gBusyWaitsExpired++;
    TaskbarProgressState(gWindowMode == WM_ERROR_DIALOG ? 4 : 0);
    for (const Corner& c : gCorners)
        if (c.character != 0) ScrPutWStrN(c.row, c.column, &c.character, 1, c.attr);
}

DWORD BusyWaitsExpired() {
    return gBusyWaitsExpired;
}

void EndBusyRedraw() {
    if ((gBusyFlag == 0 && gBusyDepth == 0) || gAutoRefresh) return;
    gBusyDepth = 1;
    SetBusy(0);
    ShowCommandMenu(gMenuModifier, 1);
}

void TaskbarProgressState(DWORD) {}
void TaskbarProgressValue(ULONGLONG, ULONGLONG) {}

// ---- texts ---------------------------------------------------------------------------------

void ProgressBarText(int percent, char out[39]) {
    std::memset(out, 0xFE, 33);
    std::memset(out + 33, ' ', 5);
    out[38] = 0;
    const int lines = std::clamp(percent, 0, 100) / 3;
    std::memset(out, 0xC4, size_t(std::min(lines, 33)));
}

namespace {

// label, then mm:ss under one hour, else h:mm:ss, then tail.
void FormatSpan(const char* label, DWORD seconds, const char* tail, char* out, size_t size) {
    const unsigned h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h == 0)
        snprintf(out, size, "%s%02u:%02u%s", label, m, s, tail);
    else
        snprintf(out, size, "%s%u:%02u:%02u%s", label, h, m, s, tail);
}

} // namespace

void ProgressTimeText(DWORD seconds, char* out, size_t size) {
    FormatSpan("Time: ", seconds, "", out, size);
}

void ProgressLeftText(DWORD seconds, char* out, size_t size) {
    FormatSpan("Left: ", seconds, " ", out, size);
}

void ProgressRateText(ULONGLONG bytesPerSecond, DWORD kiloUnit, char* out, size_t size) {
    if (kiloUnit == 0) kiloUnit = 1024;
    const ULONGLONG q = bytesPerSecond / kiloUnit, r = bytesPerSecond % kiloUnit;
    // The decimal is the first digit of the fraction (1029 bytes a second
    // are 1.0 KB/s, 12005 KB/s are 12.0 MB/s), truncated as the whole part.
    if (q > 999)
        snprintf(out, size, "(%llu.%llu MB/s)      ", q / 1000, q % 1000 / 100);
    else
        snprintf(out, size, "(%llu.%llu KB/s)      ", q, r * 10 / kiloUnit);
}

namespace {

// done * 100 / total without overflow; total is never 0.
LONGLONG PercentOf(LONGLONG done, LONGLONG total) {
    if (total <= 0) total = 1;
    if (done < 0) return 0;
    if (done <= INT64_MAX / 100) return done * 100 / total;
    return LONGLONG(double(done) * 100.0 / double(total));
}

} // namespace

void ProgressTimeDisplay(ProgressState* state, const ThroughputState* model, LONGLONG counterNow,
                         bool ending, LONGLONG stepBytes, int screenCols, char* out, size_t size) {
    char time[32];
    ProgressTimeText(state->elapsed, time, sizeof time);
    const DWORD elapsed = state->elapsed;
    if (elapsed == 0) {
        snprintf(out, size, "%s", time);
        return;
    }
    ULONGLONG rate = 0;
    bool sampled = false;
    if (state->bytesSinceShown > 1) {
        std::memmove(state->byteSamples + 1, state->byteSamples, sizeof state->byteSamples[0] * 59);
        std::memmove(state->secondStamps + 1, state->secondStamps,
                     sizeof state->secondStamps[0] * 59);
        state->byteSamples[0] = state->bytesSinceShown;
        state->secondStamps[0] = elapsed;
        sampled = true;
        ULONGLONG sum = 0;
        DWORD oldest = 0;
        int count = 0;
        for (int i = 0; i < 60; i++)
            if (state->secondStamps[i] != 0) {
                sum += state->byteSamples[i];
                oldest = state->secondStamps[i];
                count++;
            }
        const DWORD span = count == 1 ? elapsed : elapsed - oldest;
        // Two samples of the same second (the end of the display right after
        // a time text) give no span to divide by.
        if (span != 0 && span <= elapsed) rate = sum / span;
    }
    DWORD left = 0;
    if (!sampled || rate == 0) {
        const LONGLONG percent =
            std::min<LONGLONG>(PercentOf(state->percentDone, state->percentTotal), 100);
        if (percent > 0) {
            const ULONGLONG total = ULONGLONG(elapsed) * 100 / ULONGLONG(percent);
            left = DWORD(std::min<ULONGLONG>(total - elapsed + 1, 0xFFFFFFFFull));
            rate = 0;
        } else {
            rate = std::max<ULONGLONG>(state->bytesSinceShown / elapsed, 1);
        }
    }
    if (rate != 0) {
        const LONGLONG remaining = state->bytesExpected - state->bytesDone;
        left = remaining > 0
                   ? DWORD(std::min<ULONGLONG>(ULONGLONG(remaining) / rate, 0xFFFFFFFFull))
                   : 0;
    }
    if (model && model->active) left = ThroughputModelEstimate(model, counterNow);
    state->bytesSinceShown = 0;
    if (ending) left = 0;

    char leftText[32];
    ProgressLeftText(left, leftText, sizeof leftText);
    snprintf(out, size, "%s  %-16s", time, leftText);
    if (stepBytes > 1 && screenCols >= 96 && rate != 0) {
        char rateText[64];
        ProgressRateText(rate, state->kiloUnit, rateText, sizeof rateText);
        const size_t used = std::strlen(out);
        const size_t room = used < 45 ? 45 - used : 0;
        if (std::strlen(rateText) > room) rateText[room] = 0;
        if (used + std::strlen(rateText) < size) std::strcat(out, rateText);
    }
}

// ---- throughput model ------------------------------------------------------------------------

namespace {

constexpr double kWeightBase = 1048576.0;

void AddSample(double& Swnn, double& Swn, double& Sw, double& Swnt, double& Swt, double n, double t,
               double w) {
    Swnn += w * n * n;
    Swn += w * n;
    Sw += w;
    Swnt += w * n * t;
    Swt += w * t;
}

void AddSample(ThroughputState* m, double n, double t, double w) {
    AddSample(m->Swnn, m->Swn, m->Sw, m->Swnt, m->Swt, n, t, w);
}

void Restart(ThroughputState* m, LONGLONG counterNow) {
    m->intervalStart = counterNow;
    m->intervalBytes = 0;
    m->intervalUnmeasured = 0;
}

void LessLeft(ThroughputState* m, LONGLONG bytes) {
    m->filesLeft = std::max(m->filesLeft - 1.0, 0.0);
    m->bytesLeft = std::max(m->bytesLeft - double(bytes), 0.0);
}

} // namespace

void ThroughputModelStart(ThroughputState* m, LONGLONG files, LONGLONG bytes, LONGLONG frequency,
                          LONGLONG counterNow) {
    *m = ThroughputState{};
    if (frequency <= 0) return;
    m->frequency = frequency;
    m->intervalStart = counterNow;
    m->filesLeft = std::max(double(files), 0.0);
    m->bytesLeft = std::max(double(bytes), 0.0);
    // What a file costs before any is measured: 5 ms of its own, and about
    // 100 MiB/s, each seed light enough for real files to outweigh it soon.
    AddSample(m, 0, 0.005, 1.0 / kWeightBase);
    AddSample(m, 268435456.0, 2.565, 1.0 / (100.0 * (kWeightBase + 268435456.0)));
    m->active = 1;
}

void ThroughputModelMark(ThroughputState* m, LONGLONG counterNow) {
    if (m->active) Restart(m, counterNow);
}

void ThroughputModelFileDone(ThroughputState* m, LONGLONG bytes, int counted, LONGLONG counterNow) {
    if (!m->active) return;
    if (!m->intervalUnmeasured) {
        const double t = double(counterNow - m->intervalStart) / double(m->frequency);
        const double n = counted ? double(bytes) : 0.0;
        AddSample(m, n, t, 1.0 / (kWeightBase + n));
        LessLeft(m, bytes);
    }
    Restart(m, counterNow);
}

void ThroughputModelSkip(ThroughputState* m, LONGLONG bytes) {
    if (!m->active || m->intervalUnmeasured) return;
    m->intervalUnmeasured = 1;
    LessLeft(m, bytes);
}

DWORD ThroughputModelEstimate(const ThroughputState* m, LONGLONG counterNow) {
    double Swnn = m->Swnn, Swn = m->Swn, Sw = m->Sw, Swnt = m->Swnt, Swt = m->Swt;
    const double x = std::min(std::max(m->intervalBytes, 0.0), m->bytesLeft);
    if (x > 0 && m->frequency > 0) {
        // The file being copied counts with what it has moved so far once
        // its interval is long enough to say something.
        const double t = double(counterNow - m->intervalStart) / double(m->frequency);
        if (t > 0.5) AddSample(Swnn, Swn, Sw, Swnt, Swt, x, t, 1.0 / (kWeightBase + x));
    }
    const double D = Swnn * Sw - Swn * Swn;
    if (!(D > 0)) return 0;
    double a = (Swnn * Swt - Swnt * Swn) / D, b;
    if (a < 0) {
        a = 0;
        b = Swnt / Swnn;
    } else {
        b = (Swnt * Sw - Swn * Swt) / D;
        if (b < 0) {
            b = 0;
            a = Swt / Sw;
        }
    }
    const double estimate = a * m->filesLeft + b * (m->bytesLeft - x);
    if (!(estimate >= 0)) return 0;
    return DWORD(std::min(estimate, 359999.0) + 0.999);
}

void ThroughputStart(LONGLONG files, LONGLONG bytes) {
    LONGLONG frequency = 0;
    if (!gClock->frequency(&frequency)) frequency = 0;
    ThroughputModelStart(&gModel, files, bytes, frequency, CounterNow());
}

void ThroughputMark() {
    UiProgressNote(-1, 0);
    ThroughputModelMark(&gModel, CounterNow());
}

void ThroughputFileDone(LONGLONG bytes, int counted) {
    ThroughputModelFileDone(&gModel, bytes, counted, CounterNow());
}

void ThroughputSkipFile(LONGLONG bytes) {
    ThroughputModelSkip(&gModel, bytes);
}

// ---- the progress line -----------------------------------------------------------------------

namespace {

void ResetProgress() {
    const DWORD timing = gProgress.timingShown, unit = gProgress.kiloUnit;
    gProgress = ProgressState{};
    gProgress.lastPercent = 200;
    gProgress.timingShown = timing;
    gProgress.kiloUnit = unit;
}

void DrawBar(int percent) {
    char bar[39];
    ProgressBarText(percent, bar);
    ScrPutStr(gBottomRow, 0, bar, gMessageAttr);
    char text[16];
    snprintf(text, sizeof text, "%2d%%", percent);
    ScrPutStr(gBottomRow, 34, text, gMessageAttr);
    gProgress.lastPercent = DWORD(percent);
}

void UpdateClock() {
    const ULONGLONG now = (ULONGLONG(gClock->ticks()) + 500) / 1000;
    // The tick count wraps after 49.7 days; a second counted across the wrap
    // is still one second.
    const ULONGLONG last = gProgress.lastTickSecond;
    const ULONGLONG delta = now >= last ? now - last : now + 4294967 - last;
    gProgress.elapsed += DWORD(delta);
    gProgress.lastTickSecond = DWORD(now);
}

void DrawTime(LONGLONG n, bool ending) {
    char text[96];
    ProgressTimeDisplay(&gProgress, &gModel, CounterNow(), ending, n, gScreenCols, text,
                        sizeof text);
    ScrPutStr(gBottomRow, 40, text, gMessageAttr);
    gProgress.lastShownSeconds = gProgress.elapsed;
}

// The clock moves on and the time text follows when a new second began.
void Tick(LONGLONG n) {
    if (!gProgress.timingShown) return;
    UpdateClock();
    if (gProgress.elapsed != gProgress.lastShownSeconds) DrawTime(n, false);
}

int ShownPercent(bool cap99) {
    LONGLONG p = PercentOf(gProgress.percentDone, gProgress.percentTotal);
    p = std::min<LONGLONG>(p, cap99 ? 99 : 100);
    return int(p);
}

// Modes 3, 6 and 7: the percent may fall or pass 100; the time text waits
// for its second.
void CommonTail(int mode, LONGLONG n) {
    gProgress.elapsed = gProgress.lastShownSeconds;
    const int percent = ShownPercent(false);
    TaskbarProgressValue(ULONGLONG(percent), 100);
    if (DWORD(percent) != gProgress.lastPercent) DrawBar(percent);
    if (mode == 6 || mode == 7) Tick(n);
}

void ProgressStep(int mode, LONGLONG n) {
    if (n == 0) n = 1;
    gProgress.timingShown = gProgressNoRate ? 0 : 1;
    switch (mode) {
    case 0: {
        gProgress.percentTotal = gProgress.bytesExpected = n;
        gProgress.percentDone = gProgress.bytesDone = 0;
        gProgress.bytesSinceShown = 0;
        gProgress.kiloUnit = gKiloUnit ? gKiloUnit : 1024;
        gModel.active = 0;
        ForgetEncryptionAnswers();
        ForgetEncryptionVolume();
        if (gScreenMaxCol >= 33)
            ScrClearArea(gBottomRow, 33, gBottomRow, gScreenMaxCol, gMessageAttr);
        char bar[39];
        ProgressBarText(0, bar);
        ScrPutStr(gBottomRow, 0, bar, gMessageAttr);
        HotText(gBottomRow, gScreenCols - 11, 0, 3, KC_ESC, u"Esc Cancel");
        if (gProgress.timingShown) {
            std::memset(gProgress.byteSamples, 0, sizeof gProgress.byteSamples);
            std::memset(gProgress.secondStamps, 0, sizeof gProgress.secondStamps);
            gProgress.elapsed = gProgress.lastShownSeconds = 0;
            gProgress.lastTickSecond = DWORD((ULONGLONG(gClock->ticks()) + 500) / 1000);
            gProgress.timedActive = 1;
        }
        TaskbarProgressState(2);
        TaskbarProgressValue(1, 100);
        if (gProgress.lastPercent != 0) DrawBar(0);
        if (gProgress.timingShown) DrawTime(n, false);
        break;
    }
    case 1: {
        gProgress.percentDone += n;
        gProgress.bytesDone += n;
        // 64 bits: a whole file of several gigabytes may come in one step.
        if (n > 0) gProgress.bytesSinceShown += ULONGLONG(n);
        gModel.intervalBytes += double(n);
        const int percent = ShownPercent(true);
        TaskbarProgressValue(ULONGLONG(percent), 100);
        if (DWORD(percent) != gProgress.lastPercent) DrawBar(percent);
        Tick(n);
        break;
    }
    case 2:
        gProgress.lastPercent = 200;
        TaskbarProgressState(2);
        TaskbarProgressValue(1, 100);
        TaskbarProgressValue(ULONGLONG(ShownPercent(false)), 100);
        DrawBar(ShownPercent(false));
        break;
    case 3:
        gProgress.percentDone -= n;
        gProgress.bytesDone -= n;
        gModel.intervalBytes = std::max(gModel.intervalBytes - double(n), 0.0);
        CommonTail(mode, n);
        break;
    case 4: {
        gModel.active = 0;
        gProgress.timedActive = 0;
        ScrClearArea(gMessageRow, 0, gHintRow, gScreenMaxCol, gMessageAttr);
        TaskbarProgressState(0);
        DrawBar(100);
        if (gProgress.timingShown) {
            UpdateClock();
            DrawTime(n, true);
        }
        if (n == 4 && gSettings.bCopyDonePrompt) {
            ScrClearArea(gBottomRow, 19, gBottomRow, std::min<int>(39, gScreenMaxCol),
                         gMessageAttr);
            ScrPutStr(gBottomRow, 0, "Done: Press any key", gMessageAttr);
            ScrBeep();
            KbdGetKey(FALSE, FALSE);
        }
        HotClearRow(gBottomRow);
        ScrClearArea(gBottomRow, 0, gBottomRow, gScreenMaxCol, gMessageAttr);
        ResetProgress();
        break;
    }
    case 6: {
        const LONGLONG skipped = std::max<LONGLONG>(n, 65535);
        gProgress.bytesExpected -= skipped;
        gProgress.percentDone += skipped;
        ThroughputSkipFile(n);
        CommonTail(mode, n);
        break;
    }
    case 7:
        if (gProgress.bytesExpected > 1) gProgress.bytesExpected -= 1;
        gProgress.percentDone += 1;
        ThroughputSkipFile(0);
        CommonTail(mode, n);
        break;
    default:
        if (gProgress.lastPercent != 0) DrawBar(0);
        break;
    }
}

} // namespace

void ShowProgress(int mode, LONGLONG n) {
    UiProgressNote(mode, n);
    ProgressStep(mode, n);
}

LONGLONG ProgressBytesDone() {
    return gProgress.bytesDone;
}
const ProgressState& ProgressStateNow() {
    return gProgress;
}
const ThroughputState& ThroughputStateNow() {
    return gModel;
}
