#include "framework/CClickDragHelper.h"

#include "framework/InputState.h"
#include "framework/MousePoint.h"

CClickDragHelper::CClickDragHelper(LListPane* list, u32 mode)
    : fList(list), fTimer(new LTimer(list)), fMode(mode) {}

CClickDragHelper::~CClickDragHelper() {
    // What dies here reaches the list, but no longer this helper.
    fList = nullptr;
    DeleteDragger();
    delete fTimer;
    fTimer = nullptr;
}

void CClickDragHelper::DeleteDragger() {
    CDragger* d = fDragger;
    fDragger = nullptr;
    delete d;
}

void CClickDragHelper::SetDragData(LScrapData* data, i32 operation) {
    if (!fDragger) {
        if (data) data->Release();
        return;
    }
    fOp = operation;
    fDragger->SetData(data);
}

u32 CClickDragHelper::HandleMouse(const LMessage& msg) {
    if (!fList) return kNotHandled;
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse) {
        // A press on a row of a window not in front may start a drag from
        // there, so it goes on to the list as a click: the row it selects is
        // the one a key that follows acts on. Dropped, it left the list as it
        // was, and a Delete right after it found nothing chosen to ask about.
        if (msg.Is(LMouse_Bkgnd)) {
            const LCell c = fList->PointToCell(MousePointIn(fList));
            const bool onRow =
                c.col >= 0 && c.row >= 0 && c.col < fList->Cols() && c.row < fList->Rows();
            return onRow ? kHandled : kNotHandled;
        }
        if (msg.Is(LMouse_Click)) {
            if (mouse->IsOptionDown() || mouse->IsCommandDown() || mouse->IsShiftDown() ||
                mouse->IsControlDown())
                return kNotHandled;
            fPressed = fList->PointToCell(MousePointIn(fList));
            fArmed = 0;
            if (fList->Mode() == LSelTracker::kSingle) {
                fTimer->Start(0u);
                return kNotHandled;
            }
            if (!fList->IsSelected(fPressed)) {
                fTimer->Start(333u);
                return kNotHandled;
            }
            fArmed = 1;
            fTimer->Start(0u);
            // The list keeps the mouse, so that a release before the drag
            // could begin still reaches it.
            LHandler::Send(LPane_ReqCapture, fList, fList->Parent());
            return kHandled;
        }
        // A press in the selection drags however soon the pointer moves.
        if (msg.Is(LMouse_Move) && fArmed && fTimer->IsRunning()) return kHandled;
        if (msg.Is(LMouse_Release) && fArmed && fTimer->IsRunning()) {
            // Let go before the drag began: a plain click on a selected cell,
            // with no dragger left waiting for a release that has come.
            fTimer->Stop();
            fArmed = 0;
            fList->SelectCell(fPressed);
            fList->FocusList();
            return kHandled;
        }
        if (msg.Is(LMouse_Move) || msg.Is(LMouse_Release)) {
            fTimer->Stop();
            return kNotHandled;
        }
        return kNotHandled;
    }
    if (msg.source == fTimer) {
        if (!msg.Is(LTimer_Expire)) return kHandled;
        const bool held = (mouse && mouse->Capture() == fList) || fArmed;
        const LCell p = fPressed;
        if (!held || p.col < 0 || p.row < 0 || p.col >= fList->Cols() || p.row >= fList->Rows())
            return kHandled;
        DeleteDragger();
        fDragger = CDragger::New(fList);
        fPending = p;
        fOp = 0;
        return kHandled;
    }
    if (!fDragger || msg.source != fDragger) return kNotHandled;
    if (msg.Is(CDragger_Drag)) {
        fDragger->SetImageRgn(
            CDragger::SelectionImage(fList, fMode == 1, fList->GetVisibleRowsCeil()));
        fArmed = 0;
        return kImageReady;
    }
    if (msg.Is(CDragger_End)) {
        if (fArmed && fDragger->DragState() == CDragger::kNotStarted) {
            fList->SelectCell(fPressed);
            fList->FocusList();
        }
        fPending = LCell();
        DeleteDragger();
        return kHandled;
    }
    return kNotHandled;
}
