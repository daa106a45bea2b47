// The text compare's colours: the built-in ones until VUR.INI is read.
#include "compare/vur_colours.h"

void LoadVurColors() {}
