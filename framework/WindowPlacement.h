#pragma once
// Where a window opens: a dialog over the window it belongs to.

class LPane;
class LWindow;

// Moves the window (its size kept) so that it is centred horizontally over the
// frontmost other visible window and a third of the way down it, within the
// usable screen area; nothing when there is no such window.
void CenterOverOwner(LWindow* window);

// The same over the window that shows the pane: where a device's editor window
// opens when it has no place of its own, so that two devices' windows open by
// their own control windows instead of on top of each other.
void CenterOverPane(LWindow* window, LPane* pane);
