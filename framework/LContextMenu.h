#pragma once
// Context menus shown at the pointer.

#include "framework/LMenu.h"

class LPane;

// Shows a menu (one that lies in no bar) at the pointer and answers the chosen
// item, null when none was chosen. With validate, the pane's handler chain
// enables and checks the items first and then gets "LMenuItem_Selected".
LMenuItem* PopUpContextMenu(LHandler* pane, LMenu* menu, bool validate);
