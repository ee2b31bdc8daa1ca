#include "editors/CUvadWin.h"

#include "editors/CKvsUvadList.h"
#include "editors/EditorKit.h"
#include "framework/CHeaderFrame.h"
#include "framework/LDrawCtx.h"
#include "framework/LDrawObj.h"
#include "framework/LListNavi.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "framework/WindowPlacement.h"
#include "records/PrefNodes.h"

namespace {

constexpr const char* kWin = "UVADWIN";
constexpr const char* kPlaceKey = "wp";
constexpr i32 kDefaultLeft = 80;
constexpr i32 kDefaultTop = 80;

}  // namespace

CUvadWin* CUvadWin::New(LHandler* parent, CRecord* prefNode, CRecord* settings, u32 serial) {
    return new CUvadWin(parent, prefNode, settings, serial);
}

CUvadWin::CUvadWin(LHandler* parent, CRecord* prefNode, CRecord* settings, u32 serial)
    : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 9)),
      // The window hands its queue every message first; the queue's own notices
      // (its end above all, while the window is half gone) go straight up.
      fUndo(parent, kUndoLimit),
      fPrefNode(prefNode),
      fScroll(this, this),
      fContent(&fScroll.GetPort(), &fScroll.GetPort()),
      fHeader(new CHeaderFrameV(&fContent, 0, 0, 0)),
      fPlus(&fContent) {
    fNavi = new LListNavi(&fContent, LListNavi::kVerticalBar, true);
    fList = new CKvsUvadList(fNavi, settings, fHeader);
    fNavi->SetList(fList);
    LPenRef pen;
    MakePenById(&pen, 1);
    SetBackColor(pen);
    SetTitle(DeviceWindowTitle(serial, kWin));
    SetWindowMenu(new LWindowMenu(this, "EDITW"));
    fContent.SetLayoutByName("UVADFRM", 1);
    SetLayoutByName(kWin, 1);
    fList->PlaceHeader();
}

void CUvadWin::Open() {
    const bool first = !fPlaced;
    ShowWindow();
    if (!first) return;
    fPlaced = 1;
    // Sized once shown: the panes measure only then.
    LDrawCtx ctx;
    LRect pref;
    RunPref(&ctx, &pref);
    LRect want(kDefaultLeft, kDefaultTop, kDefaultLeft + pref.Width(), kDefaultTop + pref.Height());
    bool stored = false;
    if (fPrefNode) {
        const LRect r = GetRectFromString(fPrefNode, kPlaceKey);
        if (r.left < r.right && r.top < r.bottom) want = r, stored = true;
    }
    // The sizing answer below keeps the width at the preferred one.
    ResizeWindow(want, nullptr);
    // No stored place: beside the control window it comes from, not over the
    // device window that has the same default place.
    if (!stored) PlaceBesideOwner(Window());
    fList->PlaceHeader();
}

CUvadWin::~CUvadWin() {
    if (fPrefNode) SetRectAsString(fPrefNode, kPlaceKey, GetWindowBounds());
    // The list detaches from the header, which the frame would delete first.
    delete fNavi;
}

LMessage CUvadWin::HandleMessage(const LMessage& msg) {
    // The window's own history sees everything first: its Undo and Redo, and
    // the transactions of the rows' edits.
    if (fUndo.HandleMessage(msg).IsEmpty()) return LMessage();
    if (msg.Is(LStdCtl_Selected) && msg.source == &fPlus) {
        fList->InsertNewRow();
        return LMessage();
    }
    if (fWindow && msg.Is(LWindowPlacer_Grow)) {
        auto* placer = static_cast<LWindowPlacer*>(msg.source);
        LDrawCtx ctx;
        LRect pref;
        if (RunPref(&ctx, &pref)) {
            placer->SetSize(pref.Width(), pref.Height());
            placer->fMaxWidth = placer->fMinWidth;
        }
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}
