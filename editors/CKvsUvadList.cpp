#include "editors/CKvsUvadList.h"

#include <algorithm>
#include <memory>

#include "editors/AuxTriggerKinds.h"
#include "editors/LListEdit.h"
#include "framework/CHeaderFrame.h"
#include "framework/InputState.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "framework/layout/LLayoutVM.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"
#include "records/DeviceKinds.h"
#include "records/ScrapTypeNames.h"
#include "records/ShowKinds.h"
#include "records/Universes.h"

namespace {

constexpr const char* kWinTexts = "UVADWIN";

LTextStyle Style(u32 font) {
    LTextStyle s;
    s.fFont = LFont(font);
    return s;
}

void InitField(CNumVol& f, f32 min, f32 max) {
    f.SetRange(min, max, 1.0f);
    f.SetStyle(LFont(3));
}

void InitLabel(LTextPane& t, const char* text) {
    t.SetStyle(LFont(3));
    if (text) t.SetText(LString(text));
}

u32 FieldValue(CNumVol& f) {
    const f64 v = std::clamp<f64>(f.GetValue(), f.Min(), f.Max());
    return u32(v + 0.5);
}

bool IsReturnKey() {
    LKeyboard* kb = LKeyboard::Instance();
    const u32 ch = kb ? kb->fChar : 0;
    return ch == 3 || ch == 10 || ch == 13;
}

}  // namespace

// ---------------------------------------------------------------- cell

CKvsUvadCell::CKvsUvadCell(LPane* list)
    : LListCell(list),
      fArtNet(this, this),
      fNet(&fArtNet),
      fSlash1(&fArtNet),
      fSub(&fArtNet),
      fSlash2(&fArtNet),
      fUni(&fArtNet),
      fSacn(this, this),
      fSacnUniv(&fSacn),
      fLast(this),
      fCount(this),
      fIp(this) {
    InitField(fNet, 0, 127);
    InitLabel(fSlash1, "/");
    InitField(fSub, 0, 15);
    InitLabel(fSlash2, "/");
    InitField(fUni, 0, 15);
    InitField(fSacnUniv, 1, 32768);
    InitLabel(fLast, nullptr);
    InitField(fCount, 1, 32768);
    fIp.SetStyle(LFont(3));
    fArtNet.SetLayoutByName("UVADANF", 1);
    fSacn.SetLayoutByName("UVADSACNF", 1);
    SetLayoutByName("UVADCELL", 1);
}

void CKvsUvadCell::PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) {
    LListCell::PreLayoutVM(ctx, vm);
    // The columns give way to titles larger than what they hold.
    auto* list = dynamic_cast<CKvsUvadList*>(fContainer);
    CHeaderFrame::SetTitleWidths(list ? list->Header() : nullptr, 2, vm, ctx);
}

// ---------------------------------------------------------------- list

CKvsUvadList::CKvsUvadList(LPane* owner, CRecord* settings, CHeaderFrameV* header)
    : LTypedCellList(owner),
      fSettings(settings),
      fTable(settings ? settings->GetChild(DvstF::uvas) : nullptr),
      fDoc(settings ? settings->GetOwner() : nullptr),
      fHeader(header) {
    OpenList(Count());
    if (fHeader) {
        LDrawCtx ctx;
        for (u32 i = 1; i <= 3; ++i) fHeader->AddItem(StdDialogText(kWinTexts, i), Style(2), &ctx);
        fHeader->SetPlaceListener(this);
    }
    if (fDoc) fDoc->AddListener(this, Listener);
}

CKvsUvadList::~CKvsUvadList() {
    if (fDoc) fDoc->RemoveListener(this, Listener);
    if (fHeader) fHeader->SetPlaceListener(nullptr);
}

u32 CKvsUvadList::Count() const {
    return fTable ? fTable->GetListCount(UvasF::uvas) : 0;
}

bool CKvsUvadList::Sacn() const {
    return fSettings && fSettings->GetU8(DvstF::saco) != 0;
}

u64 CKvsUvadList::LastUniverse(const CRecord* row) {
    return std::min<u64>(u64(row->GetU32(UvadF::univ)) + row->GetU32(UvadF::flws), kMaxUniverse);
}

u64 CKvsUvadList::UniverseCount(const CRecord* row) {
    return u64(row->GetU32(UvadF::flws)) + 1;
}

LListCell* CKvsUvadList::CreateCell() {
    return new CKvsUvadCell(this);
}

u32 CKvsUvadList::CellQuery(LCell* size) {
    // The row layout's preferred size: the window takes its width from it.
    auto* proto = static_cast<CKvsUvadCell*>(GetProtoCell());
    LDrawCtx ctx;
    size->col = proto ? std::max(proto->GetPrefWidth(&ctx, 0), 1) : 1;
    size->row = proto ? std::max(proto->GetPrefHeight(&ctx, 0), 1) : 1;
    return kSizeAsQueried;
}

void CKvsUvadList::BoundsChanged(const LRect& old) {
    LTypedCellList::BoundsChanged(old);
    PlaceHeader();
}

void CKvsUvadList::PlaceHeader() {
    auto* proto = static_cast<CKvsUvadCell*>(GetProtoCell());
    if (!fHeader || !proto) return;
    LDrawCtx ctx;
    const i32 dx = i32(LPane::UnpackX(GetTopLeftIn(nullptr))) -
                   i32(LPane::UnpackX(fHeader->GetTopLeftIn(nullptr)));
    const LPane& first = Sacn() ? static_cast<LPane&>(proto->fSacn) : proto->fArtNet;
    fHeader->PlaceItemAtX(0, dx + first.Bounds().left, 0, &ctx);
    fHeader->PlaceItemAtX(1, dx + proto->fCount.Bounds().left, 0, &ctx);
    fHeader->PlaceItemAtX(2, dx + proto->fIp.Bounds().left, 0, &ctx);
}

bool CKvsUvadList::BindCell(LListCell* frame, LCell cell) {
    if (cell.row < 0 || u32(cell.row) >= Count()) return false;
    auto* c = static_cast<CKvsUvadCell*>(frame);
    const CRecord* row = fTable->GetListItem(UvasF::uvas, u32(cell.row));
    const u32 univ = row->GetU32(UvadF::univ);
    const u64 last = LastUniverse(row);
    if (Sacn()) {
        c->fSacn.SetState(kOpShow);
        c->fArtNet.SetState(kOpHide);
        c->fSacnUniv.SetValue(f32(u64(univ) + 1));
        c->fLast.SetText(LString(std::to_string(last + 1).c_str()));
    } else {
        c->fArtNet.SetState(kOpShow);
        c->fSacn.SetState(kOpHide);
        u32 net = 0, sub = 0, uni = 0;
        SplitArtNetAddress(univ, &net, &sub, &uni);
        c->fNet.SetValue(f32(net));
        c->fSub.SetValue(f32(sub));
        c->fUni.SetValue(f32(uni));
        char text[10];
        FormatArtNetPortAddress(i32(last), text);
        c->fLast.SetText(LString(text));
    }
    c->fCount.SetValue(f32(UniverseCount(row)));
    c->fIp.SetText(row->GetString(UvadF::ipad));
    return true;
}

LMessage CKvsUvadList::HandleCellMessage(const LMessage& msg, CKvsUvadCell* c, CRecord* row) {
    if (msg.Is(CNumVol_Fix)) {
        const u32 univ = row->GetU32(UvadF::univ);
        if (msg.source == &c->fNet)
            row->SetU32(this, UvadF::univ, (FieldValue(c->fNet) << 8) | (univ & 0xFF));
        else if (msg.source == &c->fSub)
            row->SetU32(this, UvadF::univ, (univ & 0xFF0F) | (FieldValue(c->fSub) << 4));
        else if (msg.source == &c->fUni)
            row->SetU32(this, UvadF::univ, (univ & 0xFFF0) | FieldValue(c->fUni));
        else if (msg.source == &c->fSacnUniv)
            row->SetU32(this, UvadF::univ, FieldValue(c->fSacnUniv) - 1);
        else if (msg.source == &c->fCount)
            row->SetU32(this, UvadF::flws, FieldValue(c->fCount) - 1);
        else
            return LTypedCellList::HandleMessage(msg);
        return LMessage();
    }
    if (msg.source == &c->fIp &&
        (msg.Is(LEditText_Unfocused) || (msg.Is(LEditText_Down) && IsReturnKey()))) {
        row->SetString(this, UvadF::ipad, c->fIp.GetText());
        return msg.Is(LEditText_Down) ? LMessage() : LTypedCellList::HandleMessage(msg);
    }
    return LTypedCellList::HandleMessage(msg);
}

void CKvsUvadList::SelectRows(i32 first, i32 n) {
    if (n <= 0) return;
    SetSelection(LRgn(LRect(0, first, 1, first + n)));
}

void CKvsUvadList::InsertNewRow() {
    if (!fTable) return;
    const LRgn& sel = Selection();
    const u32 at = sel.IsEmpty() ? Count() : u32(std::max(sel.GetBounds().bottom, 0));
    u32 placed;
    {
        std::unique_ptr<CUndoStrm> group(
            CUndoStrm::Open(this, nullptr, nullptr, "", 0, CUndoStrm::kMergeNew));
        placed = InsertNewUvadRecord(fTable, this, at);
    }
    SelectRows(i32(placed), 1);
    ScrollToCell(LCell{0, i32(placed)});
}

LMessage CKvsUvadList::HandleMessage(const LMessage& msg) {
    bool passOn = false;
    if (fTable && LListEdit::RowStep(this, fTable, UvasF::uvas, kScrapUvad, fHelper, msg, &passOn))
        return passOn ? LTypedCellList::HandleMessage(msg) : LMessage();
    LCell cell;
    LListCell* frame = FindCellFrame(msg.source, &cell);
    if (frame && frame != msg.source) {
        if (cell.row < 0 || u32(cell.row) >= Count()) return LTypedCellList::HandleMessage(msg);
        return HandleCellMessage(msg, static_cast<CKvsUvadCell*>(frame),
                                 fTable->GetListItem(UvasF::uvas, u32(cell.row)));
    }
    if (msg.Is(CHeaderFrame_Place) && fHeader && msg.source == fHeader) {
        PlaceHeader();
        return LMessage();
    }
    return LTypedCellList::HandleMessage(msg);
}

void CKvsUvadList::Listener(void* self, CRecordNote* note) {
    static_cast<CKvsUvadList*>(self)->OnChange(note);
}

void CKvsUvadList::OnChange(CRecordNote* note) {
    const CRecord* r = note->record;
    if (!r || !fTable) return;
    if (r == fSettings) {
        if (note->kind == CRecordNote::kChanged && note->field == DvstF::saco) {
            RefreshAll();
            PlaceHeader();
        }
        return;
    }
    if (r == fTable && note->field == UvasF::uvas) {
        LListEdit::FollowRows(this, *note);
        return;
    }
    if (note->kind == CRecordNote::kChanged && r->Parent() == fTable &&
        r->ParentField() == UvasF::uvas)
        RefreshCell(LCell{0, i32(r->Position())});
}
