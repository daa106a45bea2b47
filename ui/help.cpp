// Help topics asked for by the windows and dialogs.
#include "ui/help.h"

namespace {
int gLastTopic = -1;
}

void ShowHelp(int topic) {
    if (topic == 999) return;
    gLastTopic = topic;
}

int HelpLastTopic() { return gLastTopic; }
