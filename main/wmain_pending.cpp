// Stands in for the file manager's main program until its windows are
// built: it says so on one line and ends with status 2, so that nothing
// pretends to be the file manager meanwhile. Replace this file with the
// real wmain.
#include "process_entry.h"

#include <cstdio>
#include <cstdlib>

void wmain(int, WCHAR**) {
    std::fputs("quilb: the file manager's windows are not built yet\n", stderr);
    std::exit(2);
}
