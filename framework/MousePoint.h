#pragma once
// Where the mouse singleton's position lies for a pane: in the pane's container
// coordinates, the coordinates of its bounds.

#include "base/LRect.h"

class LPane;

LPoint MousePointIn(LPane* pane);
// The screen position of the mouse (0, 0 without the mouse singleton).
LPoint MouseScreenPoint();
// A screen point in a pane's container coordinates, the coordinates of its bounds.
LPoint ScreenPointIn(LPane* pane, LPoint screen);
