// The clock thread: keeps the status line's time and date current, turns
// the busy marks and reads Esc while the main thread is busy, blinks the
// macro indicator, counts down the error dialog's automatic answer and
// moves the filters' "TODAY" dates forward when the day changes. One tick
// of it (ClockTick) is a function of a clock value and the shared state, so
// that tests drive it with a clock of their own.
#pragma once

#include "windows.h"

#include <atomic>

// ---- what the windows and the error dialog tell the clock ---------------------------

// The windows ask for the long date ("Fri 11 Dec, 2026") on the
// status line instead of the short one; off at start.
extern std::atomic<BOOL> gClockLongDate;
// The short date and the time are shown on row 0; on at start.
extern std::atomic<BOOL> gClockShown;
// The main thread asks the clock not to read keys while busy (set around
// work that reads the keyboard itself).
extern std::atomic<BOOL> gClockKeysOff;

// The error dialog's automatic answer: the dialog sets it when it opens
// and clears it when it closes; the clock counts ticks down in tenths of
// a second and queues the configured answer letter at zero.
struct ErrorCountdownState {
    std::atomic<BOOL> open;      // the error dialog is on screen
    std::atomic<int> row;        // the dialog's row for the seconds left
    std::atomic<DWORD> ticks;    // tenths of a second left; 0: not counting
    std::atomic<BOOL> search;    // the error is of Ctrl-Search (record byte 118)
};
extern ErrorCountdownState gErrorCountdown;

// Tenths of a second for choice 1..8 of record byte 116 (1 s .. 30 min);
// 0 for choice 0 (no automatic answer) and for values past the table.
DWORD ErrorCountdownTicks(BYTE choice);
// The answer letter the countdown queues: record byte 118 for Ctrl-Search
// errors, else byte 117; a 0 byte reads as 'C'.
char ErrorCountdownLetter(BOOL search);
// Opens the countdown for a dialog shown at row: the length comes from
// record byte 116. Returns FALSE (and counts nothing) when that byte is 0.
// The error dialog calls it when it is shown; tests call it to start one.
BOOL ErrorCountdownStart(int row, BOOL search);
// Ends the countdown (the dialog was answered or closed).
void ErrorCountdownStop();

// ---- dates -----------------------------------------------------------------------------

// Moves the date by delta days through its day number, so that any year
// and month length is right. A month outside 1..12 or a year outside
// 1..9999 leaves the date unchanged; a result past 9999 stops at
// 31 December 9999, one before year 1 at 1 January of year 1.
void DateAddDays(int& year, int& month, int& day, int delta);
// Reads a date text in the configured format (gDateFormat: 0 and 3 day,
// month, year; 1 and 4 month, day, year; 2 and 5 year, month, day), its
// three numbers separated by '-', '.' or '/' (blanks before a number are
// skipped). A year of 1600 or less has two digits: below 80 it is 2000 plus
// the year, else 1900 plus the year. A format above 5 gives 2000, 0, 0; a
// missing number reads as 0.
void ParseDateText(int& year, int& month, int& day, const char* text);

// Moves every date item that is relative to today ("TODAY", "TODAY-n") in
// both panes' filters and in the file-colour rules by delta days.
void MidnightStep(int delta);

// ---- the thread ------------------------------------------------------------------------

// What one clock loop keeps from tick to tick.
struct ClockState {
    char lastTime[16];   // the time text last drawn, "" before the first
    LONGLONG lastMinute; // minutes since day 0 of the last date drawn; -1 before the first
    DWORD lastDay;       // day number of the date last seen, 0 before the first
    int frame;           // next busy-mark frame, 0..3
    BOOL indicatorOn;    // the indicator cell shows its letter ("R" or "P")
    BOOL indicatorDrawn; // the indicator cell was written since it was blank
    BOOL countDrawn;     // the macro's runs left stand beside the "P"
};
// A fresh state, as the thread starts with.
void ClockStateInit(ClockState* state);

// One pass of the loop for the local time now, without the sleep: draws
// what changed (nothing when the time text is unchanged and nothing is
// busy, counting or blinking), runs the midnight step when the day moved,
// reads Esc while busy, turns the busy mark, lets the console follow a
// window change, blinks the recording or repeat indicator and counts the
// error dialog down. Returns the period to sleep in milliseconds: 250, or 100
// while busy or counting down.
DWORD ClockTick(ClockState* state, const SYSTEMTIME& now);

// Draws the date and the time of day now where the clock thread keeps
// them, for a screen that was just cleared: the thread itself redraws the
// date only when the minute changes.
void DrawClockNow();

// Nonzero: creates the clock thread on first use (suspended, 12,288-byte
// stack) and resumes it, marking it running. Zero: suspends it when it
// runs and marks it stopped. Callers stop it before a child program takes
// the console and start it again afterwards.
void StatusThreadControl(int run);
// TRUE while the thread is marked running.
BOOL StatusThreadRunning();
