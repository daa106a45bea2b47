// Test hook of the dialogue layer: while a script is set, the questions of
// this layer (the error dialog, the error line, the log-option question)
// draw nothing and read no key: each takes the next key of the script and
// records what it was asked. Main thread only.
#pragma once

#include "windows.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

struct UiQuestion {
    const char* kind; // "ErrorDialog", "ReportError", "PromptLogOption", "ShowError",
                      // "PromptYesNo", "PromptCancelOrSkip", "PromptCopyUnencrypted",
                      // "PromptCopyDecrypted", "ShowMessage"
    WORD drive;       // drive letter, or the show-drive flag of the log prompt
    DWORD code;       // error code (0 for the log prompt)
    DWORD allowSkip;
    std::u16string path; // gErrorPath when asked (ShowError: the message)
};

// Starts a script: questions answer with these keys in turn; a question
// asked after the last key answers Esc.
void UiScriptAnswers(std::initializer_list<int> keys);
// Ends the script: questions go to the screen and keyboard again.
void UiScriptEnd();
// The questions asked since the script started.
const std::vector<UiQuestion>& UiQuestionsAsked();

// Whether a script runs.
bool UiScriptRunning();
// For the questions: the scripted key for a question, or -1 when no script
// is running (then the question is drawn and read).
int UiScriptedKey(const UiQuestion& question);

// For a question that asks through another one (the encryption questions
// through PromptYesNo): records it without taking a key.
void UiNoteQuestion(const UiQuestion& question);

// ---- recorded progress ----------------------------------------------------------

struct UiProgressCall {
    int mode;        // the ShowProgress mode, or -1 for ThroughputMark
    LONGLONG value;
};
// Starts recording every ShowProgress and ThroughputMark call (the record
// is cleared); with onCall, that function also runs after each call, so a
// test can act in the middle of an operation (press Esc, say).
void UiRecordProgress(std::function<void(const UiProgressCall&)> onCall = {});
// Stops recording and forgets what was recorded.
void UiRecordProgressEnd();
const std::vector<UiProgressCall>& UiProgressCalls();
// For the progress display: records a call when recording.
void UiProgressNote(int mode, LONGLONG value);
