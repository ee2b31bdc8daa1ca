#pragma once
// The stage for the control tests: the fake clock, fonts and controls, the
// mouse and keyboard singletons, and a container on screen that clips its
// children to a rectangle, focuses a pane that asks, and logs every message
// that reaches it. Names in fTake are consumed, the rest go back to their source.

#include <set>
#include <string>
#include <vector>

#include "framework/InputState.h"
#include "framework/LPane.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeServices.h"

class ClipBox : public LPane {
public:
    ClipBox() : LPane(nullptr, nullptr) {
        SetState(kOpContainerShown);
        SetState(kOpContainerActive);
        SetState(kOpWindowKey);
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.source == this) return LMessage();
        LPane* pane = nullptr;
        if (msg.Is(LPane_Constructing) || msg.Is(LPane_Destructing) || msg.Is(LPane_ReqFocus))
            pane = static_cast<LPane*>(msg.source);
        if (msg.Is(LPane_Constructing)) {
            pane->SetState(kOpContainerShown);
            pane->SetState(kOpContainerActive);
            pane->SetState(kOpWindowKey);
            return LMessage();
        }
        if (msg.Is(LPane_Destructing)) {
            fFocus.Forget(pane);
            return LMessage();
        }
        fLog.push_back(msg.name);
        if (msg.Is(LPane_ReqFocus)) {
            fFocus.Set(pane);
            pane->SetState(kOpFocus);
            return LMessage();
        }
        if (fTake.count(msg.name)) return LMessage();
        return LMessage::CopyRetarget(msg, msg.source);
    }
    void FillDrawEnv(LDrawEnv& env) override { env.fClip = LRgn(fClip); }
    // The messages logged since the last call, joined by blanks.
    std::string Take() {
        std::string s;
        for (const std::string& m : fLog) s += (s.empty() ? "" : " ") + m;
        fLog.clear();
        return s;
    }

    LRect fClip{0, 0, 400, 300};
    FocusSlot fFocus;
    std::set<std::string> fTake;
    std::vector<std::string> fLog;
};

struct ControlStage {
    ControlStage() { fControls.fClock = &fServices.fNow; }
    // The mouse at a point of the box (screen and window coincide headless).
    void MouseAt(i32 x, i32 y) { fMouse.fPos = LPoint{x, y}; }
    void Click(LPane* pane, i32 x, i32 y) {
        MouseAt(x, y);
        LHandler::Send(LMouse_Click, &fMouse, pane);
    }
    void Mouse(const char* name, LPane* pane, i32 x, i32 y) {
        MouseAt(x, y);
        LHandler::Send(name, &fMouse, pane);
    }
    void Key(LPane* pane, u32 ch, u32 modifiers = 0) {
        fKeys.fChar = ch;
        fKeys.fModifiers = modifiers;
        fKeys.fUsed = 1;
        LHandler::Send(LKeyboard_Down, &fKeys, pane);
    }

    FakeServices fServices;
    FakeControls fControls;
    LMouse fMouse;
    LKeyboard fKeys;
    ClipBox fBox;
};
