#include "editors/CKvsAxPlyWin.h"

#include <algorithm>

#include "editors/DeviceHooks.h"
#include "editors/EditorKit.h"
#include "editors/LListEdit.h"
#include "editors/PlayHooks.h"
#include "framework/CHeaderFrame.h"
#include "framework/LListNavi.h"
#include "framework/LMenu.h"
#include "framework/LWindow.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/ScrapTypeNames.h"
#include "records/ShowKinds.h"
#include "records/Triggers.h"

namespace {

constexpr const char* kTexts = "AXPLYWIN";
constexpr const char* kPlacement = "axpplc";

// The parameter list of the controller preferences, where windows keep their places.
CRecord* ControllerParams() {
    CRecordDoc* doc = AppPrefsDoc();
    CRecord* ctlr = doc && doc->Root() ? doc->Root()->GetChild(PrefF::ctlr) : nullptr;
    return ctlr ? ctlr->GetChild(PrctF::prms) : nullptr;
}

}  // namespace

// ---------------------------------------------------------------- list

CKvsAxPlyCell::CKvsAxPlyCell(LPane* list) : LListCell(list), fName(this) {
    SetLayoutByName("AXPLYCELL", 1);
}

CKvsAxPlyList::CKvsAxPlyList(LPane* owner, CRecord* seqSettings)
    : LTypedCellList(owner), fSettings(seqSettings) {
    SetModifierClicksSelectRows(true);
    OpenList(Count());
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->AddListener(this, Listener);
}

CKvsAxPlyList::~CKvsAxPlyList() {
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->RemoveListener(this, Listener);
}

CRecord* CKvsAxPlyList::AuxPlays() const {
    return fSettings ? fSettings->GetChild(SqstF::axps) : nullptr;
}

u32 CKvsAxPlyList::Count() const {
    const CRecord* a = AuxPlays();
    return a ? a->GetListCount(AplsF::plys) : 0;
}

i32 CKvsAxPlyList::SelectedRow() const {
    const LRgn& sel = Selection();
    return sel.IsEmpty() ? -1 : sel.GetBounds().top;
}

void CKvsAxPlyList::FocusName(i32 row) {
    if (row < 0 || u32(row) >= Count()) return;
    SelectCell(LCell{0, row});
    if (auto* c = static_cast<CKvsAxPlyCell*>(GetCellFrame(LCell{0, row}, false)))
        c->fName.RequestFocus();
}

LListCell* CKvsAxPlyList::CreateCell() {
    return new CKvsAxPlyCell(this);
}

u32 CKvsAxPlyList::CellQuery(LCell* size) {
    size->col = fBounds.Width();
    size->row = ProtoRowHeight();
    return kSizeAsQueried;
}

bool CKvsAxPlyList::BindCell(LListCell* frame, LCell cell) {
    if (cell.row < 0 || u32(cell.row) >= Count()) return false;
    static_cast<CKvsAxPlyCell*>(frame)->fName.SetText(
        AuxPlays()->GetListItem(AplsF::plys, u32(cell.row))->GetString(AplyF::name));
    return true;
}

LMessage CKvsAxPlyList::HandleMessage(const LMessage& msg) {
    CRecord* plays = AuxPlays();
    if (!plays) return LTypedCellList::HandleMessage(msg);
    bool passOn = false;
    if (LListEdit::RowStep(this, plays, AplsF::plys, kScrapAuxPlay, fHelper, msg, &passOn))
        return passOn ? LTypedCellList::HandleMessage(msg) : LMessage();
    LCell cell;
    LListCell* frame = FindCellFrame(msg.source, &cell);
    if (frame && frame != msg.source && cell.row >= 0 && u32(cell.row) < Count()) {
        auto* c = static_cast<CKvsAxPlyCell*>(frame);
        if (msg.Is(LEditText_Change) && msg.source == &c->fName) {
            plays->GetListItem(AplsF::plys, u32(cell.row))
                ->SetString(this, AplyF::name, c->fName.GetText());
            return LMessage();
        }
        if (msg.Is(LPane_Focus)) SelectCell(LCell{0, cell.row});
        return LTypedCellList::HandleMessage(msg);
    }
    return LTypedCellList::HandleMessage(msg);
}

void CKvsAxPlyList::Listener(void* self, CRecordNote* note) {
    static_cast<CKvsAxPlyList*>(self)->OnChange(note);
}

void CKvsAxPlyList::OnChange(CRecordNote* note) {
    CRecord* r = note->record;
    CRecord* plays = AuxPlays();
    if (!r || !plays) return;
    if (r == plays && note->field == AplsF::plys) {
        LListEdit::FollowRows(this, *note);
        return;
    }
    if (note->kind == CRecordNote::kChanged && r->Parent() == plays &&
        r->ParentField() == AplsF::plys)
        RefreshCell(LCell{0, i32(r->Position())});
}

// ---------------------------------------------------------------- window

CKvsAxPlyWin::CKvsAxPlyWin(LHandler* parent, LPane*, MPlayDevice* device, CRecord* seqSettings)
    : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)),
      fSettings(seqSettings),
      fScroll(this, this),
      fContent(&fScroll.GetPort(), &fScroll.GetPort()) {
    SetWindowMenu(new LWindowMenu(this, "EDITW"));
    LPenRef back;
    MakePenById(&back, 1);
    SetBackColor(back);
    fHeader = new CHeaderFrameV(&fContent, 0, 0, 0);
    fAdd = new CPlusButton(&fContent);
    fNavi = new LListNavi(&fContent, LListNavi::kVerticalBar, true);
    fList = new CKvsAxPlyList(fNavi, seqSettings);
    fNavi->SetList(fList);
    fEditor = new LFrame(&fContent, &fContent);
    fTrgHeader = new CHeaderFrameV(fEditor, 0, 0, 0);
    fAddTrg = new CPlusButton(fEditor);
    fTrgNavi = new LListNavi(fEditor, LListNavi::kVerticalBar | LListNavi::kHorizontalBar, true);
    fTrgList = new CAxPlyTrgList(fTrgNavi, device, seqSettings);
    fTrgList->SetHeader(fTrgHeader);
    fTrgNavi->SetList(fTrgList);
    fEditor->SetLayoutByName("AXPLYEDF", 1);
    fContent.SetLayoutByName("AXPLYFRM", 1);
    SetLayoutByName("AXPLYWIN", 1);
    SetTitle(DeviceWindowTitle(device ? device->DeviceSerial() : 0, kTexts));
    fHeader->AddItem(StdDialogText(kTexts, 1), Style2(), nullptr);
    for (u32 i = 2; i <= 5; ++i) fTrgHeader->AddItem(StdDialogText(kTexts, i), Style2(), nullptr);
    BindSelected();
    const LRect placed = GetRectFromString(ControllerParams(), kPlacement);
    if (placed.left < placed.right && placed.top < placed.bottom) SetWindowBounds(placed);
}

CKvsAxPlyWin::~CKvsAxPlyWin() {
    if (CRecord* params = ControllerParams())
        SetRectAsString(params, kPlacement, GetWindowBounds());
    delete fTrgNavi;
    fTrgList = nullptr;
}

LFrame* CKvsAxPlyWin::Make(const CPlayWindowArgs& args) {
    return new CKvsAxPlyWin(args.parent, args.owner, args.device, args.seqSettings);
}

bool CKvsAxPlyWin::EditorShown() const {
    return (fEditor->State() & kVisible) != 0;
}

void CKvsAxPlyWin::BindSelected() {
    const i32 row = fList->SelectedRow();
    const bool was = EditorShown();
    if (row >= 0 && u32(row) < fList->Count()) {
        fTrgList->SetAuxPlay(fList->AuxPlays()->GetListItem(AplsF::plys, u32(row)));
        fEditor->SetState(kOpShow);
    } else {
        fEditor->SetState(kOpHide);
    }
    if (was != EditorShown()) FitWidth();
}

void CKvsAxPlyWin::FitWidth() {
    // Before the window is first placed its layout sizes it anyway.
    if (!Window() || fBounds.IsEmpty()) return;
    LDrawCtx ctx;
    LRect pref;
    if (!RunPref(&ctx, &pref)) return;
    const LRect c = GetWindowBounds();
    // Only the width follows the editor; the height the user gave stays.
    ResizeWindow(
        LRect(c.left, c.top, c.left + pref.Width(), c.top + std::max(c.Height(), pref.Height())),
        nullptr);
    Relayout();
}

LMessage CKvsAxPlyWin::HandleMessage(const LMessage& msg) {
    if (msg.Is(LStdCtl_Selected) && msg.source == fAdd) {
        if (CRecord* plays = fList->AuxPlays()) fList->FocusName(i32(AddAuxPlay(plays, this)));
        return LMessage();
    }
    if (msg.Is(LStdCtl_Selected) && msg.source == fAddTrg) {
        fTrgList->AddTrigger();
        return LMessage();
    }
    if (msg.Is(LListPane_SelChange) && msg.source == fList) {
        BindSelected();
        return LMessage();
    }
    if (msg.Is(LWindowPlacer_Grow)) {
        LMessage r = LFrame::HandleMessage(msg);
        // Only the height changes: the rows are laid out for one width.
        auto* placer = static_cast<LWindowPlacer*>(msg.source);
        placer->fMaxWidth = placer->fMinWidth;
        return r;
    }
    return LFrame::HandleMessage(msg);
}

void CKvsAxPlyWin::PostLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) {
    LFrame::PostLayoutVM(ctx, vm);
    auto* proto = static_cast<CKvsAxPlyCell*>(fList->GetProtoCell());
    auto* tproto = static_cast<CAxPlyTrgCell*>(fTrgList->GetProtoCell());
    if (!proto || !tproto) return;
    const i32 dx = fList->Bounds().left - fHeader->Bounds().left;
    fHeader->PlaceItemAtX(0, dx + proto->fName.Bounds().left, 0, ctx);
    const i32 tdx = fTrgList->Bounds().left - fTrgHeader->Bounds().left;
    const LPane* at[4] = {&tproto->fTest, &tproto->fName, &tproto->fSlot, &tproto->fKind};
    for (i32 i = 0; i < 4; ++i) fTrgHeader->PlaceItemAtX(i, tdx + at[i]->Bounds().left, 0, ctx);
}
