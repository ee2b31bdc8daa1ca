#pragma once
// The Window menu lists the open ordinary windows, front to back, with a check
// on the frontmost, then the toolkit's panels the program shows (the font
// panel); choosing an entry brings its window to the front. Entries
// are rebuilt at every menu validation and only when the list changed, so that
// an open native menu is not torn down for nothing.

#include "base/LString.h"

class LMenuBar;
class LMenuItem;
class LWindow;

inline constexpr const char* kCmdWindowMenuSelect = "LWindowMenu_Select";
inline constexpr const char* kCmdWindowMenuPanel = "LWindowMenu_Panel";

// Brings the bar's "WINDOW" menu up to date and enables its entries.
void SyncWindowMenu(LMenuBar* bar);
// True when the item is a window entry (its window, if still open, is brought
// to the front).
bool SelectWindowMenuEntry(LMenuItem* item);
// Called by a dying window: its entry goes with it.
void ForgetWindowMenuEntry(LWindow* window);
