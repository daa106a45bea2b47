// The scripted answers of the dialogue layer's questions.
#include "ui/ui_test_hook.h"

namespace {

bool gScriptOn = false;
std::vector<int> gScriptKeys;
size_t gScriptNext = 0;
std::vector<UiQuestion> gAsked;
bool gProgressOn = false;
std::vector<UiProgressCall> gProgressCalls;
std::function<void(const UiProgressCall&)> gProgressOnCall;

} // namespace

void UiScriptAnswers(std::initializer_list<int> keys) {
    gScriptOn = true;
    gScriptKeys.assign(keys);
    gScriptNext = 0;
    gAsked.clear();
}

void UiScriptEnd() {
    gScriptOn = false;
    gScriptKeys.clear();
    gAsked.clear();
}

const std::vector<UiQuestion>& UiQuestionsAsked() { return gAsked; }

bool UiScriptRunning() { return gScriptOn; }

int UiScriptedKey(const UiQuestion& question) {
    if (!gScriptOn) return -1;
    gAsked.push_back(question);
    return gScriptNext < gScriptKeys.size() ? gScriptKeys[gScriptNext++] : 27;
}

void UiNoteQuestion(const UiQuestion& question) {
    if (gScriptOn) gAsked.push_back(question);
}

void UiRecordProgress(std::function<void(const UiProgressCall&)> onCall) {
    gProgressOn = true;
    gProgressCalls.clear();
    gProgressOnCall = std::move(onCall);
}

void UiRecordProgressEnd() {
    gProgressOn = false;
    gProgressCalls.clear();
    gProgressOnCall = {};
}

const std::vector<UiProgressCall>& UiProgressCalls() { return gProgressCalls; }

void UiProgressNote(int mode, LONGLONG value) {
    if (!gProgressOn) return;
    const UiProgressCall call{mode, value};
    gProgressCalls.push_back(call);
    if (gProgressOnCall) gProgressOnCall(call);
}
