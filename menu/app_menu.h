// The application menu: its file, QBK.QAM. The menu itself is not built yet.
#pragma once

// Chooses the application menu file (a given name, the configured path, or
// QBK.QAM in the start-up directory) and sets "#QBMenu" when it exists.
// Until the menu is built nothing is chosen.
void MenuGetFileName();
