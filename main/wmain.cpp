// The file manager's main program: start-up, the tree window loop until a
// quit key, and the shut-down.
#include "main/startup.h"
#include "main/tree_loop.h"
#include "process_entry.h"

void wmain(int argc, WCHAR** argv) {
    const KeyCode first = StartupSequence(argc, argv);
    ShutdownSequence(TreeWindowLoop(first));
}
