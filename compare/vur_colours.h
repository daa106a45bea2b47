// The colours of the text compare, which VUR.INI may set. The file is not
// read yet: the compare keeps its built-in colours.
#pragma once

// Takes the five colours of the text compare from VUR.INI along the program
// search path; nothing changes while the file is not read.
void LoadVurColors();
