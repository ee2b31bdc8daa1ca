#include "framework/CDragger.h"

#include <algorithm>
#include <cstdlib>

#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/MousePoint.h"
#include "services/DragServices.h"
#include "services/WindowKinds.h"

namespace {

// Adds to a point of the pane's container coordinates to make it a screen point.
LPoint ScreenOffset(LPane* pane) {
    const LPoint origin = ScreenPointIn(pane, LPoint{0, 0});
    return LPoint{-origin.x, -origin.y};
}

}  // namespace

CDragger* CDragger::New(LPane* owner) {
    return new CDragger(owner);
}

CDragger::CDragger(LPane* owner) : LPane(owner, owner) {
    // From the press: the pointer may have moved on before the list's turn
    // made this dragger, and a start taken there asked for 4 pixels more, a
    // drag that a hand which had stopped never began.
    LMouse* mouse = LMouse::Instance();
    fStart = mouse && mouse->fLastDownTime ? mouse->LastDownPoint() : MouseScreenPoint();
    // Such a move went to the list before this dragger was there, and none
    // may follow it: the next turn looks where the pointer is.
    fMovedAlready.Start(0u);
    Send(LPane_ReqCapture, this, fParent);
}

CDragger::~CDragger() {
    LMouse* mouse = LMouse::Instance();
    if (mouse && mouse->fCapture == this) mouse->fCapture = nullptr;
    SetData(nullptr);
}

void CDragger::SetData(LScrapData* data) {
    if (fData) fData->Release();
    fData = data;
}

LRgn CDragger::SelectionImage(LListPane* list, bool columnMajor, i32 rows) {
    LRgn out;
    const i32 first = list->First().row;
    LSelIter it;
    it.Init(list->Selection(), columnMajor, false);
    while (it.Next()) {
        const LCell c = it.Cell();
        if (c.row < first || c.row >= first + rows) continue;
        out.Union(LRgn(list->GetCellRect(c)));
    }
    const LPoint off = ScreenOffset(list);
    out.Offset(off.x, off.y);
    return out;
}

LMessage CDragger::BeginDrag() {
    // One drag: the platform's runs a loop of its own, in which this turn's
    // check must not begin a second.
    fMovedAlready.Stop();
    return LMessage{CDragger_Drag, this, fParent};
}

bool CDragger::MovedFar(LPoint p) const {
    return std::max(std::abs(p.x - fStart.x), std::abs(p.y - fStart.y)) >= 4;
}

LMessage CDragger::HandleMessage(const LMessage& msg) {
    LMouse* mouse = LMouse::Instance();
    if (msg.source == &fMovedAlready) {
        // Still held (the release ends a dragger) and already far enough.
        if (msg.Is(LTimer_Expire) && mouse && fDragState == kNotStarted &&
            (mouse->Capture() == this || mouse->Capture() == fParent) &&
            MovedFar(mouse->Position()))
            return BeginDrag();
        return LMessage();
    }
    if (mouse && msg.source == mouse) {
        if (msg.Is(LMouse_Move)) {
            if (MovedFar(mouse->Position())) return BeginDrag();
            return LMessage();
        }
        if (msg.Is(LMouse_Release)) return LMessage{CDragger_End, this, fParent};
        return LPane::HandleMessage(msg);
    }
    if (msg.source == this && msg.Is(CDragger_Drag)) {
        // Back from the parent chain with image and data: the drag itself.
        RunDrag();
        return LMessage{CDragger_End, this, fParent};
    }
    if (msg.source == this && msg.Is(CDragger_End)) {
        // Nobody took the end, so nobody will delete the dragger.
        delete this;
        return LMessage();
    }
    return LPane::HandleMessage(msg);
}

void CDragger::RunDrag() {
    LMouse* mouse = LMouse::Instance();
    if (mouse && mouse->fCapture == this) mouse->SetCaptureTarget(static_cast<LPane*>(fParent));

    LDragStart start;
    start.window = GetNativeWindow();
    start.data = fData;
    start.local = false;
    start.mouse = fStart;
    LRect b = fImage.GetBounds();
    if (fImage.IsEmpty()) b = LRect(fStart.x, fStart.y, fStart.x + 1, fStart.y + 1);
    start.imageRect = b;
    LOffscreenRef off;
    LOffscreen::New(&off, u32(std::max(b.Width(), 1)), u32(std::max(b.Height(), 1)), 32, false,
                    LOffscreen::kFlagAlpha);
    if (off) {
        if (!fImage.IsEmpty()) {
            COffscreenBitmap ctx(off.Get());
            if (ctx.IsReady()) {
                LRgnFill fill;
                fill.fRegion = fImage;
                fill.fRegion.Offset(-b.left, -b.top);
                MakePenByColorWidth(&fill.fPen, 0x80808080u, 2, 0.25f);
                ctx.ApplyClip();
                fill.Draw(ctx);
            }
        }
        start.image = LOffscreen::CopyImage(off.Get());
    }
    SetMouseTrackingSuspended(1);
    const u32 performed = DragServices().RunDrag(start);
    SetMouseTrackingSuspended(0);
    fDragState = performed ? kDropped : kNotDropped;
}

// ---------------------------------------------------------------- offscreen context

COffscreenBitmap::COffscreenBitmap(LOffscreen* offscreen) : fOff(offscreen) {
    if (!offscreen) return;
    fNative = LOffscreen::BeginDraw(offscreen);
    if (!fNative) return;
    u32 w = 0, h = 0;
    LOffscreen::GetSize(offscreen, &w, &h);
    SetClipRgn(LRgn(LRect(0, 0, i32(w), i32(h))));
}

COffscreenBitmap::~COffscreenBitmap() {
    if (!fNative) return;
    ApplyClip();
    LOffscreen::EndDraw(fOff.Get());
    fNative = nullptr;
}

// ---------------------------------------------------------------- floating panels

CFloatPanel::CFloatPanel(u32 style, u32 flags) : LWindowKind(0), fStyle(style), fFlags(flags) {
    fKind = NativeKind(StyleMask());
}

u32 CFloatPanel::NativeKind(u32 mask) {
    // The platform knows its windows by kind: a panel takes the kind whose
    // title bar has the same controls, else it would lose its close box.
    const u32 controls = mask & (kTitled | kClosable | kMiniaturizable | kResizable);
    for (u32 kind = 0; kind < 13; ++kind) {
        const LWindowKindStyle s = WindowKindStyle(kind);
        if (s.style == controls && s.level == kLevelNormal) return kind;
    }
    // Titled alone: only the dialog kinds have that bar.
    return 0;
}

u32 CFloatPanel::StyleMask() const {
    switch (fStyle) {
        case 1:
            return kTitled | kClosable | kUtility;
        case 2:
            return kTitled | kMiniaturizable | kResizable | kUtility;
        case 3:
        case 4:
            return kTitled | kClosable | kMiniaturizable | kResizable | kUtility;
        case 6:
            return 0;
        default:
            return kTitled | kUtility;
    }
}

LNativeWindow CFloatPanel::CreateNative(LWindow* window, LNativeWindow owner, u32 type) {
    (void)type;
    return LWindowKind::CreateNative(window, owner, kWindowFloating);
}
