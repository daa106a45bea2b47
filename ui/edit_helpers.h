// Helpers the prompts share around the line editor. The archive title is
// not drawn yet: the archive windows that own it come later.
#pragma once

// Writes the archive title of the current pane on the bottom command line
// from column 12 in the command-line colour; nothing while no archive is
// open.
void ShowArchiveTitle();
