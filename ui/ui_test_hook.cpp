// The scripted answers of the dialogue layer's questions.
#include "ui/ui_test_hook.h"

namespace {

bool gScriptOn = false;
std::vector<int> gScriptKeys;
size_t gScriptNext = 0;
std::vector<UiQuestion> gAsked;

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
