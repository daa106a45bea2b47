// quilb, the file manager: the process entry.
#include "process_entry.h"

int main(int argc, char** argv) { return QuilbMain(argc, argv); }
