#pragma once
// Where a window opens: a dialog over the window it belongs to.

class LWindow;

// Moves the window (its size kept) so that it is centred horizontally over the
// frontmost other visible window and a third of the way down it, within the
// usable screen area; nothing when there is no such window.
void CenterOverOwner(LWindow* window);
