// Help: F1 anywhere asks for the help text of a numbered topic (10 the log
// options, 58 sorting, 25 to 29 tagging, 64 and 65 the QLOG dialog, 76 to 79
// invert, ...).
#pragma once

#include "windows.h"

// Shows the help text of topic. The help viewer is not part of this build
// yet: the request is remembered (HelpLastTopic) and nothing is drawn, so
// that F1 in a dialog leaves the dialog as it was. Topic 999 only loads the
// topic table.
void ShowHelp(int topic);
// The topic of the last ShowHelp call other than 999; -1 before any.
int HelpLastTopic();
