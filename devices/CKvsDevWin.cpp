#include "devices/CKvsDevWin.h"

#include <algorithm>
#include <cstdio>

#include "framework/InputState.h"
#include "framework/LMenu.h"
#include "framework/MousePoint.h"
#include "framework/StdDialogs.h"
#include "framework/layout/LExprEval.h"
#include "services/GraphicsServices.h"
#include "records/DeviceKinds.h"
#include "records/PrefNodes.h"

namespace {

constexpr const char* kTexts = "KVSDEVWIN";
constexpr const char* kSerialOffset = "dsrl";

}  // namespace

// ---- CKvsDevCell

CKvsDevCell::CKvsDevCell(LPane* list) : LListCell(list), fLabel(this), fLine(this, this) {
    SetLayoutByName("DEVCELL", 1);
}

// ---- CKvsDevList

CKvsDevList::CKvsDevList(LPane* owner, CKvsDevSet* set)
    : LTypedCellList(owner, kSizePaneWidth, false),
      fSet(set),
      fCreated(GraphicsServices().NowMs()) {
    // The header item follows the serial label of a cell.
    if (CKvsDevCell* proto = static_cast<CKvsDevCell*>(GetProtoCell())) {
        if (CRecord* prms = fSet->Root()->GetChild(KvssF::prms))
            NodeSetIntC(prms, kSerialOffset, proto->fLabel.Bounds().left);
    }
    InsertColumns(0, 1);
    InsertRows(0, i32(fSet->Count()));
    fSet->AddChangeListener(this, OnChange);
}

CKvsDevList::~CKvsDevList() {
    fSet->RemoveChangeListener(this, OnChange);
}

LListCell* CKvsDevList::CreateCell() {
    return new CKvsDevCell(this);
}

bool CKvsDevList::BindCell(LListCell* frame, LCell cell) {
    if (cell.row < 0 || u32(cell.row) >= fSet->Count()) return false;
    CRecord* device = fSet->At(u32(cell.row));
    if (!device) return false;
    char text[16];
    std::snprintf(text, sizeof text, "%ld", long(device->GetU32(DevcF::serial)));
    static_cast<CKvsDevCell*>(frame)->fLabel.SetText(LString(text));
    return true;
}

void CKvsDevList::CellSizeChanged() {
    SetCellSize(fBounds.right - fBounds.left, CellHeight());
}
bool CKvsDevList::CellSizeFollows(const LRect&) const {
    return true;
}

void CKvsDevList::OnChange(void* self, CRecordNote* note) {
    CKvsDevList* list = static_cast<CKvsDevList*>(self);
    CRecord* root = list->fSet->Root();
    CRecord* r = note->record;
    if (!r) return;
    // The insertion and removal notices of the list name no position: the
    // device record's own notices around them do.
    const bool device = r->Kind() == kKindDevc && r->Parent() == root;
    if (note->kind == CRecordNote::kAttached && device) {
        list->InsertRows(i32(r->Position()), 1);
    } else if (note->kind == CRecordNote::kWillRemove && device) {
        list->fRemoving = i32(r->Position());
    } else if (note->kind == CRecordNote::kRemoved && r == root && note->field == KvssF::devs &&
               list->fRemoving >= 0) {
        list->RemoveRows(list->fRemoving, 1);
        list->fRemoving = -1;
    } else if (note->kind == CRecordNote::kChanged && device) {
        list->RefreshCell(LCell{0, i32(r->Position())});
    }
}

LMessage CKvsDevList::HandleMessage(const LMessage& msg) {
    if (msg.Is(LPane_ReqFocus) && msg.source != this) {
        RefreshAll();
    }
    LMouse* pointer = LMouse::Instance();
    if (fFrame && pointer && msg.source == pointer && msg.Is(LMouse_Click)) {
        // An address refused for the shown device keeps it shown: the click
        // that would choose another one is not taken at all (no selection, no
        // focus, no tracking of a button that was released over the message).
        const i32 row = PointToCell(MousePointIn(this)).row;
        if (row != GetSelCell().row && !fFrame->EndEdits()) return LMessage();
    }
    LMessage next = LTypedCellList::HandleMessage(msg);
    // Only the click itself counts, not its announcement coming back.
    if (!msg.Is(LListPane_Clicked) && next.Is(LListPane_Clicked) && next.source == this) {
        const i32 row = LastClicked().row;
        LMouse* mouse = LMouse::Instance();
        const bool twice = mouse && mouse->IsDoubleClick(&fClickStamp) && row == fLastRow;
        fLastRow = row;
        if (twice && row >= 0) {
            Send(CKvsDevList_DblClk, this, fParent);
            return LMessage();
        }
    }
    return next;
}

// ---- CKvsDevWin

CKvsDevWin::CKvsDevWin(LHandler* doc, CKvsDevSet* set)
    : LFrame(doc, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)),
      fSet(set),
      fTitle(this),
      fBar(this),
      fLine(this, this) {
    fHeader = new CHeaderFrameH(this, 0, 0, 0);
    fNavi = new LListNavi(this, LListNavi::kVerticalBar, true);
    fList = new CKvsDevList(fNavi, set);
    fNavi->SetList(fList);
    fFrame = new CKvsDevFrm(this, set);
    fFrame->SetState(kOpHide);
    fList->SetDeviceFrame(fFrame);
    fStatus = new LTextPane(this);
    fTitle.SetText(StdDialogText(kTexts, 1));
    fTitle.SetStyle(LFont(2));
    fHeader->AddItem(StdDialogText(kTexts, 2), DefaultTextStyle(), nullptr);
    LPenRef back;
    MakePenById(&back, 1);
    SetBackColor(back);
    SetWindowMenu(new LWindowMenu(this, "APPW"));
    SetLayoutByName("KVSDEVWIN", 0);
    fBar.SetMax(CKvsDevDoc::kProgressMax);
    SetTitle(LString("KEVOruneSet"));
    ShowWindow();
    // The layout's preferred size, until the document applies the stored placement.
    LDrawCtx ctx;
    LRect pref;
    if (RunPref(&ctx, &pref) && pref.right > pref.left && pref.bottom > pref.top)
        SetWindowBounds(LRect(80, 80, 80 + pref.right - pref.left, 80 + pref.bottom - pref.top));
}

CKvsDevWin::~CKvsDevWin() = default;

void CKvsDevWin::PostLayout(LDrawCtx* ctx, LLayoutEval& eval) {
    LFrame::PostLayout(ctx, eval);
    i32 offset = 0;
    if (CRecord* prms = fSet->Root()->GetChild(KvssF::prms))
        offset = NodeGetIntOr(prms, kSerialOffset, 0);
    if (CRespText* item = fHeader->Item(0)) {
        const LRect hb = fHeader->Bounds();
        const i32 x = fNavi->Bounds().left - hb.left + offset;
        item->SetBounds(LRect(x, 0, x + std::max(1, item->GetPrefWidth(ctx, -1)),
                              std::max(hb.top + 1, hb.bottom) - hb.top));
    }
}

void CKvsDevWin::SetRefreshProgress(u32 value) {
    fProgress = i32(value);
    fBar.SetValue(i32(value));
}

void CKvsDevWin::SetStatusText(const LString& text) {
    if (fStatus->GetText() == text) return;
    fStatus->SetText(text);
}

i32 CKvsDevWin::SelectedRow() {
    return fList->GetSelCell().row;
}

void CKvsDevWin::SelectRow(i32 row) {
    fList->SelectCell(LCell{0, row});
}

void CKvsDevWin::ShowDevice(u16 serial, CRecord* settings, CRecord* state) {
    if (!fFrame->SetDevice(serial, settings, state)) {
        // The address typed for the shown device was refused: it stays selected.
        const u16 kept = fFrame->Serial();
        if (fSet->Find(kept)) SelectRow(i32(fSet->UpperBound(kept)) - 1);
        return;
    }
    const bool show = serial != 0;
    if (fFrame->IsShown() != show) {
        fFrame->SetState(show ? kOpShow : kOpHide);
        Relayout();
    }
}

MKvsDevView* NewKvsDevWindow(CKvsDevDoc* doc) {
    return new CKvsDevWin(doc, &doc->DeviceSet());
}
