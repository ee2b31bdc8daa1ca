#include "editors/CSchPrdList.h"

#include <algorithm>
#include <memory>

#include "editors/LListEdit.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"
#include "records/NsqPrefKinds.h"
#include "records/Schedule.h"
#include "records/ScrapTypeNames.h"

namespace {

constexpr const char* kTexts = "SCHPRDDTF";
constexpr u32 kRefreshMs = 1000;

LTextStyle StyleOf(i32 font) {
    LTextStyle s;
    s.fFont = LFont(font);
    return s;
}

void InitSeparator(LTextPane& pane, const char* text) {
    pane.SetText(LString(text));
    pane.SetStyle(LFont(3));
}

std::unique_ptr<CUndoStrm> Compound(LHandler* h, const char* name, u32 merge) {
    return std::unique_ptr<CUndoStrm>(CUndoStrm::Open(h, nullptr, nullptr, name, 0, merge));
}

}  // namespace

// ---------------------------------------------------------------- date-time group

CSchPrdDtFrm::CSchPrdDtFrm(LPane* parent)
    : LFrame(parent, parent),
      fLabel(this),
      fYear(this),
      fSlash1(this),
      fMonth(this),
      fSlash2(this),
      fDay(this),
      fWeekday(this, StyleOf(2)),
      fHour(this),
      fColon1(this),
      fMinute(this),
      fColon2(this),
      fSecond(this) {
    fLabel.SetStyle(LFont(2));
    InitSeparator(fSlash1, "/");
    InitSeparator(fSlash2, "/");
    InitSeparator(fColon1, ":");
    InitSeparator(fColon2, ":");
    fYear.SetRange(2020, 2999, 1);
    fMonth.SetRange(1, 12, 1);
    fDay.SetRange(1, 31, 1);
    fHour.SetRange(0, 23, 1);
    fMinute.SetRange(0, 59, 1);
    fSecond.SetRange(0, 59, 1);
    for (u32 i = 2; i <= 8; ++i) fWeekday.AddItem(StdDialogText(kTexts, i));
    SetLayoutByName("SCHPRDDTF", 1);
}

CNumVol* CSchPrdDtFrm::Field(u32 part) {
    switch (part) {
        case kSchSecond:
            return &fSecond;
        case kSchMinute:
            return &fMinute;
        case kSchHour:
            return &fHour;
        case kSchDay:
            return &fDay;
        case kSchMonth:
            return &fMonth;
        case kSchYear:
            return &fYear;
        default:
            return nullptr;
    }
}

// ---------------------------------------------------------------- cell

CSchPrdCell::CSchPrdCell(LPane* list)
    : LListCell(list), fRange(this, 0, 1, 0), fStart(this), fEnd(this), fLine(this, this) {
    LDrawCtx ctx;
    for (u32 i = 0; i < 7; ++i) fRange.AddItem(LString("---"), StyleOf(2), &ctx);
    fStart.fLabel.SetText(StdDialogText(kTexts, 0));
    fEnd.fLabel.SetText(StdDialogText(kTexts, 1));
    SetLayoutByName("SCHPRDCELL", 1);
}

u8 CSchPrdCell::Range() const {
    const i32 k = fRange.Selected();
    return u8(6 - std::clamp(k, 0, 6));
}

void CSchPrdCell::PostLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) {
    LListCell::PostLayoutVM(ctx, vm);
    const LPane* above[7] = {&fStart.fYear, &fStart.fMonth,  &fStart.fDay,   &fStart.fWeekday,
                             &fStart.fHour, &fStart.fMinute, &fStart.fSecond};
    const i32 dx = fStart.Bounds().left - fRange.Bounds().left;
    for (i32 i = 0; i < 7; ++i) {
        const LRect b = above[i]->Bounds();
        fRange.PlaceItemAtX(i, dx + (b.left + b.right) / 2, 1, ctx);
    }
}

// ---------------------------------------------------------------- list

CSchPrdList::CSchPrdList(LPane* owner) : LTypedCellList(owner) {
    OpenList(0);
}

CSchPrdList::~CSchPrdList() {
    SetEvent(nullptr);
    fTimer.Stop();
}

u32 CSchPrdList::Count() const {
    return fEvent ? fEvent->GetListCount(ScevF::prds) : 0;
}

void CSchPrdList::SetEvent(CRecord* event) {
    if (event == fEvent) return;
    if (fDoc) fDoc->RemoveListener(this, Listener);
    // The rows go by the list's own count: a detached event's list may be gone.
    if (const i32 n = Rows()) RemoveRows(0, n);
    fEvent = event;
    if (const u32 n = Count()) InsertRows(0, i32(n));
    fDoc = fEvent ? fEvent->GetOwner() : nullptr;
    if (fDoc) fDoc->AddListener(this, Listener);
}

void CSchPrdList::AddPeriod() {
    if (!fEvent) return;
    const i32 at = SchEventAddPeriod(fEvent, this);
    if (at < 0) return;
    SelectCell(LCell{0, at});
    ScrollToCell(LCell{0, at});
}

LListCell* CSchPrdList::CreateCell() {
    return new CSchPrdCell(this);
}

u32 CSchPrdList::CellQuery(LCell* size) {
    size->col = fBounds.Width();
    size->row = ProtoRowHeight();
    return kSizeAsQueried;
}

bool CSchPrdList::BindCell(LListCell* frame, LCell cell) {
    if (cell.row < 0 || u32(cell.row) >= Count()) return false;
    auto* c = static_cast<CSchPrdCell*>(frame);
    const CRecord* p = fEvent->GetListItem(ScevF::prds, u32(cell.row));
    // The engine reads a range above 6 as 6; so does the editor, which stores
    // `rang` only when the user picks one.
    const u8 range = std::min<u8>(p->GetU8(ScepF::rang), kPeriodAbsolute);
    c->fRange.SelectItem(6 - range);
    ShowGroup(c->fStart, p, ScepF::strt, range);
    ShowGroup(c->fEnd, p, ScepF::endp, range);
    return true;
}

void CSchPrdList::ShowGroup(CSchPrdDtFrm& g, const CRecord* period, u8 field, u8 range) {
    auto show = [](LPane& pane, bool on) { pane.SetState(on ? kOpShow : kOpHide); };
    show(g.fYear, range >= 6);
    show(g.fSlash1, range >= 6);
    show(g.fMonth, range >= 5);
    show(g.fSlash2, range >= 5);
    show(g.fDay, range >= 4);
    show(g.fWeekday, range == 3);
    show(g.fHour, range >= 2);
    show(g.fColon1, range >= 2);
    show(g.fMinute, range >= 1);
    show(g.fColon2, range >= 1);
    // Every field holds this period's value, shown or not: the cells are
    // stamped for every row, and a later widening of the range or a store of
    // the group writes what the hidden fields hold.
    for (u32 part = 0; part < kSchPartCount; ++part)
        if (CNumVol* f = g.Field(part)) f->SetValue(f32(SchPeriodGetTimePart(period, field, part)));
    g.fWeekday.Select(i32(std::clamp<u32>(SchPeriodGetTimePart(period, field, kSchWeekday), 1, 7)) -
                      1);
}

void CSchPrdList::StoreGroup(CRecord* period, u8 field, CSchPrdDtFrm& g, u8 range) {
    const u32 year = u32(g.fYear.GetValue());
    const u32 month = u32(g.fMonth.GetValue());
    u32 day = u32(g.fDay.GetValue());
    // Without a year February may have 29 days (2000 is a leap year).
    if (range >= 6)
        day = std::min<u32>(day, DaysInMonth(year, month));
    else if (range == 5)
        day = std::min<u32>(day, DaysInMonth(2000, month));
    auto group = Compound(this, "schperiod", CUndoStrm::kMergeContinue);
    const u32 parts[6] = {kSchSecond, kSchMinute, kSchHour, kSchDay, kSchMonth, kSchYear};
    for (u32 part : parts) {
        const u32 v = part == kSchDay ? day : u32(g.Field(part)->GetValue());
        SchPeriodSetTimePart(period, this, field, part, v);
    }
}

LMessage CSchPrdList::HandleMessage(const LMessage& msg) {
    if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
        fTimer.Stop();
        RefreshAll();
        return LMessage();
    }
    if (!fEvent) return LTypedCellList::HandleMessage(msg);
    bool passOn = false;
    if (LListEdit::RowStep(this, fEvent, ScevF::prds, kScrapSchPeriod, fHelper, msg, &passOn))
        return passOn ? LTypedCellList::HandleMessage(msg) : LMessage();
    LCell cell;
    LListCell* frame = FindCellFrame(msg.source, &cell);
    if (!frame || frame == msg.source || cell.row < 0 || u32(cell.row) >= Count())
        return LTypedCellList::HandleMessage(msg);
    auto* c = static_cast<CSchPrdCell*>(frame);
    CRecord* p = fEvent->GetListItem(ScevF::prds, u32(cell.row));
    CSchPrdDtFrm* g = nullptr;
    for (LHandler* h = msg.source; h && h != c && !g; h = h->Parent())
        if (h == &c->fStart || h == &c->fEnd) g = static_cast<CSchPrdDtFrm*>(h);
    const u8 field = g == &c->fStart ? ScepF::strt : ScepF::endp;
    if (msg.Is(CNumVol_Fix) && g) {
        fTimer.Start(kRefreshMs);
        StoreGroup(p, field, *g, c->Range());
        return LMessage();
    }
    if (msg.Is(LPopupList_Changed) && g && msg.source == &g->fWeekday) {
        SchPeriodSetTimePart(p, this, field, kSchWeekday, u32(g->fWeekday.GetSelected() + 1));
        return LMessage();
    }
    if (msg.Is(CHeaderFrame_Selected) && msg.source == &c->fRange && c->fRange.Selected() >= 0) {
        const u8 range = c->Range();
        auto group = Compound(this, "", CUndoStrm::kMergeNew);
        p->SetU8(this, ScepF::rang, range);
        StoreGroup(p, ScepF::strt, c->fStart, range);
        StoreGroup(p, ScepF::endp, c->fEnd, range);
        Redraw(cell);
        return LMessage();
    }
    return LTypedCellList::HandleMessage(msg);
}

void CSchPrdList::Listener(void* self, CRecordNote* note) {
    static_cast<CSchPrdList*>(self)->OnChange(note);
}

void CSchPrdList::OnChange(CRecordNote* note) {
    CRecord* r = note->record;
    if (!r || !fEvent) return;
    if (r == fEvent && note->kind == CRecordNote::kDetached) {
        // The event left its document (deleted or replaced by a read): its
        // records are about to be freed.
        SetEvent(nullptr);
        return;
    }
    if (r == fEvent && note->field == ScevF::prds) {
        LListEdit::FollowRows(this, *note);
        return;
    }
    if (note->kind == CRecordNote::kChanged && r->Parent() == fEvent &&
        r->ParentField() == ScevF::prds && !fTimer.IsRunning())
        Redraw(LCell{0, i32(r->Position())});
}

void CSchPrdList::Redraw(LCell cell) {
    RefreshCell(cell);
    // Binding shows and hides the fields of the range inside the bound cell,
    // whose own pending redraw is dropped when it is shown again: the row is
    // drawn whole, or it would keep showing the fields of the old range.
    InvalidateRgn(LRgn(GetCellRect(cell)));
}
