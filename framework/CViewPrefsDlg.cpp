#include "framework/CViewPrefsDlg.h"

#include "framework/WindowPlacement.h"

#include "framework/CMainLoop.h"
#include "framework/CViewPrefs.h"
#include "framework/InputState.h"
#include "framework/StdDialogs.h"

namespace {

constexpr u32 kPanelChanges = kFontPanelSize | kFontPanelFace;

}  // namespace

// ---- CVPFontCell

CVPFontCell::CVPFontCell(CVPFontList* list)
    : LListCell(list),
      fLabel(this),
      fFamily(this, CTextSlot::kClearable),
      fLine(this, this),
      fList(list) {
    fFamily.SetState(kOpTabStopRingOutside);
    fFamily.SetState(kOpClickFocus);
    SetLayoutByName("CVPFONTCELL", 1);
}

LMessage CVPFontCell::HandleMessage(const LMessage& msg) {
    // A row holds one field: Tab goes on to the next row, not round this one.
    LKeyboard* kb = LKeyboard::Instance();
    if (msg.Is(LKeyboard_Down) && kb && kb->fChar == 9 && !kb->IsControlDown()) {
        fList->StepRow(kb->IsShiftDown() ? -1 : 1);
        return LMessage();
    }
    return LListCell::HandleMessage(msg);
}

// ---- CVPFontList

CVPFontList::CVPFontList(LPane* owner) : LCellListPane(owner, kSizePaneWidth, true, false) {
    InsertColumns(0, 1);
    InsertRows(0, kSlots);
}

CVPFontList::~CVPFontList() {
    ClosePanel();
}

LListCell* CVPFontList::CreateCell() {
    return new CVPFontCell(this);
}

bool CVPFontList::BindCell(LListCell* frame, LCell cell) {
    if (cell.row < 0 || cell.row >= kSlots) return false;
    auto* row = static_cast<CVPFontCell*>(frame);
    row->fLabel.SetText(StdDialogText("CVPFONTLIST", u32(cell.row)));
    CViewFont font;
    // A slot the user has not set shows the font it uses now, not nothing.
    if (!CViewPrefs::Instance().GetFont(u32(cell.row), &font) || font.family.IsEmpty())
        font.family = LFont(cell.row).GetFamilyName();
    row->fFamily.SetText(font.family);
    return true;
}

i32 CVPFontList::SelectedRow() const {
    const LCell sel = GetSelCell();
    return sel.row >= 0 && sel.row < kSlots ? sel.row : -1;
}

void CVPFontList::ClosePanel() {
    if (!fPanelOpen) return;
    fPanelOpen = false;
    CloseFontPanel(this, &PanelChanged);
}

void CVPFontList::ChooseFont(bool asked) {
    const i32 row = SelectedRow();
    if ((fState & (kFocused | kWindowKey)) != (kFocused | kWindowKey) || row < 0) return;
    if (!asked && fPanelDismissed) return;
    fPanelDismissed = false;
    const u32 front = asked || fBringBack ? u32(kFontPanelAsked) : 0u;
    fBringBack = false;
    LFontSpec spec;
    CViewFont user;
    if (CViewPrefs::Instance().GetFont(u32(row), &user)) {
        spec.familyName = user.family;
        spec.pointSize = user.points;
    } else {
        const LFont current(row);
        spec.familyName = current.GetFamilyName();
        spec.pointSize = f32(current.GetPointSize());
    }
    spec.fontName = spec.familyName;
    fPanelOpen =
        RunFontPanel(false, &spec, this, &PanelChanged, kPanelChanges | front) == kFontPanelShown;
}

void CVPFontList::BringPanelBack() {
    if (!fPanelOpen) return;
    // At once when the window has the keys, else as it takes them.
    fBringBack = true;
    ChooseFont(false);
}

void CVPFontList::PanelChanged(void* owner, const LFontSpec* spec, u32 event) {
    auto* list = static_cast<CVPFontList*>(owner);
    if (list && event == kFontPanelClosed) {
        list->fPanelOpen = false;
        list->fPanelDismissed = true;
        return;
    }
    // A modal dialog owns the user's attention: its choices are not ours.
    if (!list || !spec || LDesktop::FindWindowById(kWindowDialog)) return;
    const i32 row = list->SelectedRow();
    if (row < 0) return;
    list->SetSlotFont(row, spec->familyName, spec->pointSize);
    if (auto* cell = static_cast<CVPFontCell*>(list->GetCellFrame(LCell{0, row}, false)))
        cell->fFamily.RequestFocus();
}

void CVPFontList::SetSlotFont(i32 row, const LString& family, f32 points) {
    CViewFont font;
    font.family = family;
    font.points = points;
    // A panel may report no size (a face chosen by pixels) or an absurd one:
    // the family is taken, the slot keeps the size it has.
    if (!family.IsEmpty() && !CViewPrefs::IsUsablePoints(points)) {
        CViewFont current;
        if (!CViewPrefs::Instance().GetFont(u32(row), &current))
            current.points = f32(LFont(row).GetPointSize());
        font.points = CViewPrefs::IsUsablePoints(current.points) ? current.points : 12.0f;
    }
    CViewPrefs::Instance().SetFont(u32(row), font);
    RefreshCell(LCell{0, row});
}

void CVPFontList::StepRow(i32 step) {
    LCell edit;
    const i32 from = GetEditCell(&edit) ? edit.row : SelectedRow();
    const i32 row = from < 0 ? 0 : (from + step + kSlots) % kSlots;
    if (auto* cell = static_cast<CVPFontCell*>(GetCellFrame(LCell{0, row}, false)))
        cell->fFamily.RequestFocus();
}

i32 CVPFontList::RowOf(LHandler* pane) {
    LCell cell;
    return pane && FindCellFrame(pane, &cell) && cell.row >= 0 && cell.row < kSlots ? cell.row : -1;
}

LMessage CVPFontList::HandleMessage(const LMessage& msg) {
    if (msg.Is(LPane_ReqFocus) && msg.source != this) {
        // The row whose slot takes the keyboard (a click, Tab) is the row the
        // panel is for: selected before the list takes the focus, since taking
        // it opens the panel for the selection.
        const i32 before = SelectedRow();
        const i32 row = RowOf(msg.source);
        if (row >= 0 && row != before) SelectCell(LCell{0, row});
        LMessage rest = LCellListPane::HandleMessage(msg);
        if (row >= 0 && row != before) ChooseFont();
        return rest;
    }
    if (msg.Is(LKeyboard_Down)) {
        // Return or Enter on a row opens the panel for it, as a click does.
        LKeyboard* kb = LKeyboard::Instance();
        const u32 ch = kb ? (kb->fChar & 0xFF) : 0;
        if ((ch == 13 || ch == 3) && SelectedRow() >= 0) {
            ChooseFont();
            return LMessage();
        }
    }
    if (msg.Is(CTextSlot_Click) || msg.Is(CTextSlot_Changed)) {
        LCell cell;
        LListCell* frame = msg.source ? FindCellFrame(msg.source, &cell) : nullptr;
        auto* row = static_cast<CVPFontCell*>(frame);
        if (row && msg.source == &row->fFamily) {
            if (msg.Is(CTextSlot_Click))
                ChooseFont();
            else if (row->fFamily.GetText().IsEmpty())
                SetSlotFont(cell.row, LString(), 0);
            return LMessage();
        }
    }
    return LCellListPane::HandleMessage(msg);
}

void CVPFontList::StateChanged(u32 op) {
    LCellListPane::StateChanged(op);
    if (op != kOpContainerHidden && op != kOpFocus && op != kOpUnfocus && op != kOpWindowKey)
        return;
    // The panel follows the list: open while it is shown and focused.
    if ((fState & (kVisible | kContainerShown | kFocused)) ==
        (kVisible | kContainerShown | kFocused))
        ChooseFont(false);
    else
        ClosePanel();
}

void CVPFontList::BoundsChanged(const LRect& old) {
    LCellListPane::BoundsChanged(old);
    if (old.Width() != fBounds.Width()) SetCellSize(fBounds.Width(), CellHeight());
}

// ---- CViewPrefsDlg

CViewPrefsDlg::CViewPrefsDlg(LHandler* parent)
    : LModalFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 3)), fList(this) {
    SetTitle(StdDialogText("CVIEWPREFSDLG", 0));
    SetLayoutByName("CVIEWPREFSDLG", 1);
}

void CViewPrefsDlg::StateChanged(u32 op) {
    LModalFrame::StateChanged(op);
    if (op == kOpStyleChanged) RelayoutExact();
}

void CMainLoopBase::ShowViewPrefs() {
    auto* window = static_cast<CViewPrefsDlg*>(fPrefsWindow);
    if (!window) {
        fPrefsWindow = window = new CViewPrefsDlg(this);
        // Laid out before it is placed: it opens at its layout's size over its owner.
        window->RelayoutExact();
        CenterOverOwner(window->Window());
    }
    window->ShowWindow();
    // Its command asked for the window: the panel of its list with it.
    window->FontList().BringPanelBack();
}
