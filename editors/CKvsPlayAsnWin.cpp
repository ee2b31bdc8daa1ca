#include "editors/CKvsPlayAsnWin.h"

#include <algorithm>
#include <memory>

#include "editors/CBtnLabelLayout.h"
#include "editors/DeviceHooks.h"
#include "editors/EditorKit.h"
#include "editors/LListEdit.h"
#include "editors/PlayHooks.h"
#include "editors/SeqDropHelpers.h"
#include "base/LTextSink.h"
#include "base/TextFormat.h"
#include "framework/InputState.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "framework/WindowPlacement.h"
#include "services/FontPanel.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"
#include "records/NsqPrefKinds.h"
#include "records/PlayGrid.h"
#include "records/PrefNodes.h"
#include "records/ScrapTypeNames.h"
#include "records/ScreenLayout.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kAsn = "KVSPLAYASN";
constexpr const char* kLys = "BTNLYSWIN";
constexpr const char* kPlacement = "btnplc";
constexpr const char* kFontKey = "btnfont";
constexpr u32 kEditorWindowKind = 9;
constexpr f32 kMaxGridField = 8;

CRecord* ControllerPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    CRecord* ctlr = doc && doc->Root() ? doc->Root()->GetChild(PrefF::ctlr) : nullptr;
    return ctlr ? ctlr->GetChild(PrctF::prms) : nullptr;
}

CRecord* MiscPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    return doc && doc->Root() ? doc->Root()->GetChild(PrefF::misc) : nullptr;
}

std::unique_ptr<CBtnLabelFontSource> Renderer(LPane* owner) {
    const auto make = PlayHooks().newLabelRenderer;
    return std::unique_ptr<CBtnLabelFontSource>(make ? make(owner) : nullptr);
}

// The layout built for a grid record, or null when it must not be stored.
CRecord* BuiltLayout(bool (*build)(const CRecord*, CRecord*, CBtnLabelFontSource*),
                     const CRecord* grid, LPane* owner) {
    CRecord* layout = NewUiLayoutRecord();
    if (!layout) return nullptr;
    auto fonts = Renderer(owner);
    if (!UiLayoutToStore(build(grid, layout, fonts.get()), layout)) {
        CRecord::Destroy(layout);
        return nullptr;
    }
    return layout;
}

}  // namespace

// ---------------------------------------------------------------- layouts

u32 StoreBtnLayout(CRecord* play, LHandler* ctx, i32 row, CBtnLabelFontSource* fonts) {
    CRecord* layout = NewBtnLayoutFromPlaySet(play);
    if (!layout) return 0;
    if (CRecord* ui = NewUiLayoutRecord()) {
        if (UiLayoutToStore(BuildBtnLayoutUiLayout(layout, ui, fonts), ui)) {
            if (CRecord* old = layout->ReplaceChild(nullptr, BtlyF::uifs, ui))
                CRecord::Destroy(old);
        } else {
            CRecord::Destroy(ui);
        }
    }
    const u32 count = play->GetListCount(PlysF::blys);
    u32 index = count;
    if (row >= 0 && u32(row) < count) {
        index = u32(row);
        layout->SetString(nullptr, BtlyF::name,
                          play->GetListItem(PlysF::blys, index)->GetString(BtlyF::name));
    }
    auto group = UndoGroup(ctx);
    if (index < count)
        PlaySetReplaceBtnLayout(play, ctx, index, layout);
    else if (!play->InsertItem(ctx, PlysF::blys, index, layout))
        CRecord::Destroy(layout);
    return index;
}

void RebuildUiLayouts(CRecord* play, LPane* owner) {
    if (CRecord* ui = BuiltLayout(BuildPlaySetUiLayout, play, owner))
        if (CRecord* old = play->ReplaceChild(nullptr, PlysF::uifs, ui)) CRecord::Destroy(old);
    for (u32 i = 0; i < play->GetListCount(PlysF::blys); ++i) {
        CRecord* btly = play->GetListItem(PlysF::blys, i);
        if (CRecord* ui = BuiltLayout(BuildBtnLayoutUiLayout, btly, owner))
            if (CRecord* old = btly->ReplaceChild(nullptr, BtlyF::uifs, ui)) CRecord::Destroy(old);
    }
}

CKvsBtnLysCell::CKvsBtnLysCell(LPane* list) : LListCell(list), fNumber(this), fName(this) {
    SetLayoutByName("BTNLYSCELL", 1);
}

CKvsBtnLysList::CKvsBtnLysList(LPane* owner, CRecord* play)
    : LTypedCellList(owner, kSizePaneWidth), fPlay(play) {
    OpenList(Count());
    if (fPlay && fPlay->GetOwner()) fPlay->GetOwner()->AddListener(this, Listener);
}

CKvsBtnLysList::~CKvsBtnLysList() {
    if (fPlay && fPlay->GetOwner()) fPlay->GetOwner()->RemoveListener(this, Listener);
}

u32 CKvsBtnLysList::Count() const {
    return fPlay ? fPlay->GetListCount(PlysF::blys) : 0;
}

LListCell* CKvsBtnLysList::CreateCell() {
    return new CKvsBtnLysCell(this);
}

u32 CKvsBtnLysList::CellQuery(LCell* size) {
    auto* proto = static_cast<CKvsBtnLysCell*>(GetProtoCell());
    size->col = fBounds.Width();
    size->row = proto ? ProtoRowHeight({&proto->fName}) : 1;
    return kSizeAsQueried;
}

bool CKvsBtnLysList::BindCell(LListCell* frame, LCell cell) {
    if (cell.row < 0 || u32(cell.row) >= Count()) return false;
    auto* c = static_cast<CKvsBtnLysCell*>(frame);
    LString n;
    c->fNumber.SetText(NumToStr(&n, long(cell.row) + 1));
    c->fName.SetText(fPlay->GetListItem(PlysF::blys, u32(cell.row))->GetString(BtlyF::name));
    return true;
}

LMessage CKvsBtnLysList::HandleMessage(const LMessage& msg) {
    // Layouts are moved within the list and copied between windows.
    i32 at = 0;
    const i32 n = fPlay ? LListEdit::DragStep(this, fPlay, PlysF::blys, Selection(), true,
                                              kScrapBtnLayout, fHelper, msg, &at, 0)
                        : LListEdit::kNotHandled;
    if (n == LListEdit::kDataSupplied) return LTypedCellList::HandleMessage(msg);
    if (n == LListEdit::kConsumed) return LMessage();
    if (n > 0) {
        SetSelection(LRgn(LRect(0, at, 1, at + n)));
        return LMessage();
    }
    LCell cell;
    LListCell* frame = FindCellFrame(msg.source, &cell);
    if (frame && frame != msg.source) {
        auto* c = static_cast<CKvsBtnLysCell*>(frame);
        if (msg.Is(LEditText_Change) && msg.source == &c->fName) {
            if (cell.row >= 0 && u32(cell.row) < Count())
                fPlay->GetListItem(PlysF::blys, u32(cell.row))
                    ->SetString(this, BtlyF::name, c->fName.GetText());
            return LMessage();
        }
        if (msg.Is(LPane_Focus)) SelectCell(LCell{0, cell.row});
        return LTypedCellList::HandleMessage(msg);
    }
    if (msg.Is(LMenuBar_Ready) && !Selection().IsEmpty())
        static_cast<LMenuBar*>(msg.source)->EnableCommand(LStdCmd_Delete);
    if (msg.Is(LMenuItem_Selected) && fPlay &&
        static_cast<LMenuItem*>(msg.source)->HasCommand(LStdCmd_Delete)) {
        LListEdit::DeleteSelection(this, "", fPlay, PlysF::blys, Selection(), true);
        return LMessage();
    }
    return LTypedCellList::HandleMessage(msg);
}

void CKvsBtnLysList::Listener(void* self, CRecordNote* note) {
    static_cast<CKvsBtnLysList*>(self)->OnChange(note);
}

void CKvsBtnLysList::OnChange(CRecordNote* note) {
    CRecord* r = note->record;
    if (!r) return;
    if (r == fPlay && note->field == PlysF::blys) {
        LListEdit::FollowRows(this, *note);
        RefreshAll();
        return;
    }
    if (note->kind == CRecordNote::kChanged && r->Parent() == fPlay &&
        r->ParentField() == PlysF::blys && note->field == BtlyF::name)
        RefreshCell(LCell{0, i32(r->Position())});
}

CKvsBtnLysWin::CKvsBtnLysWin(LHandler* parent, CRecord* play, u32 serial)
    : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, kEditorWindowKind)),
      fPlay(play),
      fApply(this),
      fStore(this),
      fVisible(this),
      fNavi(this, LListNavi::kVerticalBar, true),
      fList(&fNavi, play) {
    LPenRef pen;
    MakePenById(&pen, 1);
    SetBackColor(pen);
    SetTitle(DeviceWindowTitle(serial, kLys));
    fApply.SetTitle(StdDialogText(kLys, 1));
    fVisible.SetTitle(StdDialogText(kLys, 3));
    fVisible.SetState(fPlay->GetU8(PlysF::vsbl) != 0 ? 1 : 0);
    fNavi.SetList(&fList);
    SetWindowMenu(new LWindowMenu(this, "EDITW"));
    SetLayoutByName(kLys, 1);
    UpdateButtons();
    if (fPlay->GetOwner()) fPlay->GetOwner()->AddListener(this, Listener);
}

CKvsBtnLysWin::~CKvsBtnLysWin() {
    // The navigator outlives the list it scrolls.
    fNavi.SetList(nullptr);
    if (fPlay->GetOwner()) fPlay->GetOwner()->RemoveListener(this, Listener);
}

void CKvsBtnLysWin::UpdateButtons() {
    const bool row = !fList.Selection().IsEmpty();
    fApply.SetState(row ? kOpEnable : kOpDisable);
    fStore.SetTitle(StdDialogText(kLys, row ? 4 : 2));
}

void CKvsBtnLysWin::Listener(void* self, CRecordNote* note) {
    auto* w = static_cast<CKvsBtnLysWin*>(self);
    if (note->record == w->fPlay && note->field == PlysF::vsbl)
        w->fVisible.SetState(w->fPlay->GetU8(PlysF::vsbl) != 0 ? 1 : 0);
}

LMessage CKvsBtnLysWin::HandleMessage(const LMessage& msg) {
    if (msg.Is(LListPane_SelChange) && msg.source == &fList) {
        UpdateButtons();
        return LMessage();
    }
    // Panes report their construction here before the list exists.
    const bool command =
        msg.Is(LStdCtl_Selected) && (msg.source == &fApply || msg.source == &fStore);
    const i32 row = !command || fList.Selection().IsEmpty() ? -1 : fList.GetSelCell().row;
    if (msg.Is(LStdCtl_Selected) && msg.source == &fApply) {
        if (row >= 0 && u32(row) < fPlay->GetListCount(PlysF::blys)) {
            auto group = UndoGroup(this);
            PlaySetApplyBtnLayout(fPlay, this, u32(row));
        }
        return LMessage();
    }
    if (msg.Is(LStdCtl_Selected) && msg.source == &fStore) {
        auto fonts = Renderer(this);
        const u32 at = StoreBtnLayout(fPlay, this, row, fonts.get());
        fList.SelectCell(LCell{0, i32(at)});
        fList.ScrollToCell(LCell{0, i32(at)});
        UpdateButtons();
        return LMessage();
    }
    if (msg.Is(LStdCheck_Change) && msg.source == &fVisible) {
        fPlay->SetU8(this, PlysF::vsbl, fVisible.GetState() != 0 ? 1 : 0);
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

// ---------------------------------------------------------------- assignment window

CKvsPlayAsnWin::CKvsPlayAsnWin(LHandler* parent, LPane* owner, MPlayDevice* device,
                               CRecord* seqSettings, CRecord* play)
    : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, kEditorWindowKind)),
      fDevice(device),
      fSeqSettings(seqSettings),
      fPlay(play),
      fGrid(this, this),
      fColsLabel(&fGrid),
      fCols(&fGrid),
      fRowsLabel(&fGrid),
      fRows(&fGrid),
      fPrm(this, this, device, seqSettings),
      fLayoutsBtn(this),
      fFontBtn(this),
      fNavi(this, LListNavi::kVerticalBar | LListNavi::kHorizontalBar, true),
      fList(&fNavi, play, device && device->CommandDoc() ? device->CommandDoc()->Root() : nullptr) {
    (void)owner;
    LPenRef pen;
    MakePenById(&pen, 1);
    SetBackColor(pen);
    LString title;
    NumToStr(&title, long(device ? device->DeviceSerial() : 0));
    LTextStream t;
    t.Write(title.CStr(), title.Length());
    const LString item0 = StdDialogText(kAsn, 0);
    t.Write(item0.CStr(), item0.Length());
    SetTitle(t.ToString());
    fColsLabel.SetText(StdDialogText(kAsn, 1));
    fRowsLabel.SetText(StdDialogText(kAsn, 2));
    fLayoutsBtn.SetTitle(StdDialogText(kAsn, 3));
    fFontBtn.SetTitle(StdDialogText(kAsn, 4));
    for (CNumVol* f : {&fCols, &fRows}) f->SetRange(1, kMaxGridField, 1);
    fCols.SetValue(f32(std::clamp<u32>(play->GetU32(PlysF::btcs), 1, 8)));
    fRows.SetValue(f32(std::clamp<u32>(play->GetU32(PlysF::btrs), 1, 8)));
    fNavi.SetList(&fList);
    fGrid.SetLayoutByName("PLAYCMNF", 1);
    // The grid's shifting commands in a menu of this window's own: the menu
    // target is the active window's focus, so only a menu shown while this
    // window is active can reach the grid.
    SetWindowMenu(new LWindowMenu(this, "PLAYBTNW"));
    Send(LPane_Defer, this, fParent);
    if (fPlay->GetOwner()) fPlay->GetOwner()->AddListener(this, Listener);
    SetLayoutByName(kAsn, 1);
    ShowSelectedCell();
    const CRecord* prefs = ControllerPrefs();
    const LRect r = prefs ? GetRectFromString(prefs, kPlacement) : LRect();
    if (r.left < r.right && r.top < r.bottom)
        SetWindowBounds(r);
    else
        CenterOverPane(Window(), owner);
}

CKvsPlayAsnWin::~CKvsPlayAsnWin() {
    CloseFontPanel(this, OnFont);
    if (fPlay->GetOwner()) fPlay->GetOwner()->RemoveListener(this, Listener);
    if (CRecord* prefs = ControllerPrefs(); prefs && Window())
        SetRectAsString(prefs, kPlacement, GetWindowBounds());
    delete fLayouts;
    fNavi.SetList(nullptr);
}

void CKvsPlayAsnWin::ShowSelectedCell() {
    if (fList.Selection().IsEmpty()) {
        fPrm.SetState(kOpHide);
        fPrm.SetCell(nullptr);
        return;
    }
    const LCell c = fList.GetSelCell();
    fPrm.SetState(kOpShow);
    fPrm.SetCell(c.col >= 0 && c.row >= 0 ? PlaySetGetCell(fPlay, u32(c.col), u32(c.row))
                                          : nullptr);
}

void CKvsPlayAsnWin::StateChanged(u32 op) {
    LFrame::StateChanged(op);
    if ((op == 1 || op == 5) && fLayouts) fLayouts->HideWindow();
}

void CKvsPlayAsnWin::SetLabelFont(const LString& face) {
    if (CRecord* misc = MiscPrefs()) NodeSet(misc, nullptr, kFontKey, face);
    RebuildUiLayouts(fPlay, this);
}

void CKvsPlayAsnWin::OnFont(void* self, const LFontSpec* spec, u32 event) {
    // The font the panel showed as the user closed it is the one already taken.
    if (spec && event == kFontPanelChanged)
        static_cast<CKvsPlayAsnWin*>(self)->SetLabelFont(spec->fontName);
}

LMessage CKvsPlayAsnWin::HandleMessage(const LMessage& msg) {
    if (msg.source == &fList) {
        if (msg.Is(LListPane_SelChange)) {
            ShowSelectedCell();
            return LMessage();
        }
        if (msg.Is(CKvsBtnList_Drop)) {
            CDropSource* source = fList.GetDropData();
            ShowSelectedCell();
            // Recordings become a sequence through the slot's wrap helper.
            if (!source || fPrm.fSlot.WrapHelper().OfferDrop(source)) return LMessage();
            if (const u32 id = ReadDroppedSequenceId(source)) fPrm.ChooseSequence(id);
            return LMessage();
        }
    }
    if (msg.Is(CNumVol_Fix) && (msg.source == &fCols || msg.source == &fRows)) {
        const bool cols = msg.source == &fCols;
        const u32 v = u32(std::clamp<f64>(static_cast<CNumVol*>(msg.source)->GetValue(), 1, 8));
        fPlay->SetU32(this, cols ? PlysF::btcs : PlysF::btrs, v);
        return LMessage();
    }
    if (msg.Is(CKvsBtnPrmF_Prep) && msg.source == &fPrm) {
        if (!fList.Selection().IsEmpty()) {
            const LCell c = fList.GetSelCell();
            if (c.col >= 0 && c.row >= 0)
                fPrm.SetCell(PlaySetGetOrAddCell(fPlay, this, u32(c.col), u32(c.row)));
        }
        return LMessage();
    }
    if (msg.Is(LStdCtl_Selected) && msg.source == &fLayoutsBtn) {
        if (!fLayouts)
            fLayouts = new CKvsBtnLysWin(this, fPlay, fDevice ? fDevice->DeviceSerial() : 0);
        fLayouts->ShowWindow();
        return LMessage();
    }
    if (msg.Is(LStdCtl_Selected) && msg.source == &fFontBtn) {
        LFontSpec spec;
        if (CRecord* misc = MiscPrefs()) NodeGetText(&spec.fontName, misc, kFontKey, "");
        RunFontPanel(false, &spec, this, OnFont, kFontPanelFace | kFontPanelSize | kFontPanelAsked);
        return LMessage();
    }
    if (msg.Is(LPane_Unfocus) && msg.source == &fFontBtn) {
        CloseFontPanel(this, OnFont);
        return LFrame::HandleMessage(msg);
    }
    if (msg.Is(LPane_Deferred) && msg.target == this) {
        ShowSelectedCell();
        return LMessage();
    }
    // The Buttons menu is this window's own, and its commands belong to the
    // grid: they follow the selection the grid shows, from whichever pane of
    // the window holds the focus (the Title field of the selected button).
    if (msg.Is(LMenuBar_Ready)) fList.EnableShifts(static_cast<LMenuBar*>(msg.source));
    if (msg.Is(LMenuItem_Selected) && fList.RunShift(static_cast<LMenuItem*>(msg.source)))
        return LMessage();
    return LFrame::HandleMessage(msg);
}

void CKvsPlayAsnWin::Listener(void* self, CRecordNote* note) {
    static_cast<CKvsPlayAsnWin*>(self)->OnChange(note);
}

void CKvsPlayAsnWin::OnChange(CRecordNote* note) {
    CRecord* r = note->record;
    if (!r || r->Family() != FourCC("YKVT")) return;
    if (r == fPlay && (note->field == PlysF::btcs || note->field == PlysF::btrs)) {
        fCols.SetValue(f32(std::clamp<u32>(fPlay->GetU32(PlysF::btcs), 1, 8)));
        fRows.SetValue(f32(std::clamp<u32>(fPlay->GetU32(PlysF::btrs), 1, 8)));
        return;
    }
    const bool rows = r == fPlay && note->field == PlysF::rows;
    const bool cels = r->Parent() == fPlay && note->field == PlrwF::cels;
    const bool cell = r->Kind() == kKindPlcl;
    // By way of the parent: a request the window sends itself comes back
    // unconsumed and is dropped, and the parameters would keep showing a cell
    // a shift or an undo has moved away.
    if (rows || cels || cell) Send(LPane_Defer, this, fParent);
}

LFrame* NewPlayAsnWin(const CPlayWindowArgs& args) {
    if (!args.playSettings) return nullptr;
    return new CKvsPlayAsnWin(args.parent, args.owner, args.device, args.seqSettings,
                              args.playSettings);
}
