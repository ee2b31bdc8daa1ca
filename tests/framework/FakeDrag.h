#pragma once
// A headless drag the tests drive: windows that accept drops, the operation a
// target reports, the pointer moved over a window with a source mask and
// Shift, and a drag of the application's own items that runs a scripted body
// and ends with an operation. Also a fake offscreen: bitmaps over the
// offscreen's pixels whose graphics record the calls and whose images say
// their size. Installed while it lives.

#include <functional>
#include <set>

#include "framework/LDrop.h"
#include "services/DragServices.h"
#include "services/DrawingServices.h"
#include "tests/framework/FakeServices.h"

// The image of a fake bitmap: its size and the calls drawn into it.
class FakeImage : public LRefObj {
public:
    FakeImage(u32 w, u32 h, std::string calls)
        : LRefObj(1), fW(w), fH(h), fCalls(std::move(calls)) {}
    u32 fW;
    u32 fH;
    std::string fCalls;
};

class FakeDrag : public LDragServices, public LDrawingServices {
public:
    FakeDrag();
    ~FakeDrag() override;

    // ---- LDragServices
    void AcceptDrops(LNativeWindow window, bool on) override;
    void SetDropOperation(LNativeWindow, i32 op, bool) override { fShownOp = op; }
    u32 RunDrag(const LDragStart& start) override;

    // ---- LDrawingServices: bitmaps only
    LNativeBitmap* MakeBitmap(u8* pixels, const LBitmapFormat& format) override;
    LNativeCursorRef MakeCursor(const u8*, u32, i32, i32) override { return LNativeCursorRef(); }
    LNativeCursorRef SystemCursor(const char*) override { return LNativeCursorRef(); }
    void SetCursor(LNativeCursor*) override {}
    i32 RunFontPanel(bool, LFontSpec*, void*, LFontPanelCallback, u32) override { return 1; }
    void CloseFontPanel(void*, LFontPanelCallback) override {}

    // ---- driving a drag over a window
    LDrop* DropOf(LNativeWindow window) const { return LDropMgr::Instance().DropFor(window); }
    void Over(LNativeWindow window, LPoint screen, bool shift = false);
    void Leave(LNativeWindow window);
    u32 DropOn(LNativeWindow window);

    u32 fMask = kDragCopy | kDragMove;
    std::set<LNativeWindow> fAccepting;
    i32 fShownOp = 0;
    // RunDrag: the last start, then the body, and the operation it answers
    // (fEndOp, or what the body's drop performed when fEndOp < 0).
    LDragStart fStart;
    u32 fDrags = 0;
    std::function<u32()> fBody;
    i32 fEndOp = -1;
};
