// Helpers the prompts share: the archive title, empty until archive windows
// exist.
#include "ui/edit_helpers.h"

void ShowArchiveTitle() {}
