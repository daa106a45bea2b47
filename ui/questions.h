// One-key questions on the command lines: yes/no (with "All" in a tagged
// operation), the cancel question of a running copy, and the two questions
// for an encrypted source. Each puts back the rows it drew on; each can be
// answered by the test hook's script instead of the keyboard. Main thread.
#pragma once

#include "windows.h"

// Asks yes or no on row: "All" (A) only with allowAll during a tagged
// operation, "[No]", "Yes" and "Esc Cancel". Enter means No. Returns 'Y',
// 'N', 27, or 'A' when allowAll is set (also when "All" is not shown).
// Leaves the busy state for the wait and enters it again.
int PromptYesNo(int row, int allowAll);

// The question asked during a copy once Esc was pressed (gInterruptRequested
// set): "Cancel operation?". Returns 0 at once when no interrupt is pending;
// else 1223 for Y, 9929 for S (only in a tagged operation), 0 for N, Enter
// or Esc. The request is cleared either way.
DWORD PromptCancelOrSkip();

// "Cannot encrypt on target - copy unencrypted?" and "File is encrypted -
// copy it decrypted?": 'Y', 'N' or 27. An "All" answer in a tagged operation
// is returned as 'Y' and answers the same question of the rest of the
// operation; a new progress display forgets it.
int PromptCopyUnencrypted();
int PromptCopyDecrypted();
// Forgets the two "All" answers (the start of a progress display).
void ForgetEncryptionAnswers();
