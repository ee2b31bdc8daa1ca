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

// A window that opens without a stored place goes beside the window it comes
// from (the frontmost other visible window): to its right, else to its left,
// where it fits the usable area of that window's screen; else over it, moved
// right and down, so that the owner's title and left edge stay in sight. The
// window keeps its size; nothing when there is no such window.
void PlaceBesideOwner(LWindow* window);
