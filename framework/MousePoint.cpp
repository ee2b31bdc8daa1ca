#include "framework/MousePoint.h"

#include "framework/InputState.h"
#include "framework/LPane.h"
#include "services/WindowServices.h"

LPoint MouseScreenPoint() {
    LMouse* mouse = LMouse::Instance();
    return mouse ? mouse->Position() : LPoint{0, 0};
}

LPoint MousePointIn(LPane* pane) {
    return ScreenPointIn(pane, MouseScreenPoint());
}

LPoint ScreenPointIn(LPane* pane, LPoint p) {
    LDrawEnv env;
    pane->GetContainerDrawEnv(&env);
    const LRect content = WindowServices().GetContentRect(env.fWindow);
    return LPoint{p.x - content.left - env.fOriginX, p.y - content.top - env.fOriginY};
}
