// The application menu's file: nothing is chosen until the menu is built.
#include "menu/app_menu.h"

void MenuGetFileName() {}
