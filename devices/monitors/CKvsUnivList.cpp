#include "devices/monitors/CKvsUnivList.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "devices/monitors/CMonWin.h"
#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/LTextBox.h"
#include "framework/layout/LLayoutVM.h"
#include "services/GraphicsServices.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/Universes.h"

namespace {

CRecord* AppPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    return doc ? doc->Root() : nullptr;
}

bool IsItemOf(const CRecord* r, const CRecord* status) {
    return r && status && r->Parent() == status && r->Kind() == kKindUnvs;
}

// The levels of a universe as a frame: at most 513 slots whatever the record holds.
CDmxFrameBuf FrameOf(const CRecord* universe) {
    CDmxFrameBuf f;
    f.count = 0;
    if (!universe) return f;
    f.count = std::min<u32>(universe->GetArrayCount(UnvsF::stat), kDmxSlots);
    if (f.count) std::memcpy(f.slots, universe->GetArrayData(UnvsF::stat), f.count);
    return f;
}

}  // namespace

// ---- CKvsUnivCell

CKvsUnivCell::CKvsUnivCell(LPane* list)
    : LListCell(list), fUniverse(this), fGraph(this), fSender(this) {
    fUniverse.SetStyle(LFont(3));
    fSender.SetStyle(LFont(3));
    SetLayoutByName("UNIVCELL", 1);
}

void CKvsUnivCell::PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) {
    LListCell::PreLayoutVM(ctx, vm);
    // Some faces draw digits wider than the letter the column is measured in.
    static constexpr char kWidest[] = "+255.255.255.255";
    vm.SetGlobal("ipw", LTextBox::MeasureText(fSender.Style(), kWidest, sizeof kWidest - 1));
}

// ---- CKvsUnivList

CKvsUnivList::CKvsUnivList(LPane* navi, CRecord* status)
    : LCellListPane(navi, kSizePaneWidth, false, false), fStatus(status) {
    InsertColumns(0, 1);
    InsertRows(0, i32(status ? status->GetListCount(DrcStatF::unvs) : 0));
    Listen(status);
}

CKvsUnivList::~CKvsUnivList() {
    Unlisten();
}

void CKvsUnivList::Listen(CRecord* status) {
    fStatus = status;
    fDoc = status ? status->GetOwner() : nullptr;
    if (fDoc) fDoc->AddListener(this, OnChange);
}

void CKvsUnivList::Unlisten() {
    if (fDoc) fDoc->RemoveListener(this, OnChange);
    fDoc = nullptr;
}

LListCell* CKvsUnivList::CreateCell() {
    auto* c = new CKvsUnivCell(this);
    c->fGraph.SetCallback(c, DrawGraph);
    return c;
}

LString CKvsUnivList::FormatUniverse(u32 number) const {
    char text[16];
    if (fFormat == 0)
        FormatArtNetPortAddress(i32(number), text);
    else
        FormatSacnUniverse(number, text);
    return LString(text);
}

LString CKvsUnivList::SenderText(const CRecord* u) {
    const u8 hstx = u->GetU8(UnvsF::hstx);
    const u32 a = u->GetU32(UnvsF::host);
    char text[24];
    std::snprintf(text, sizeof text, "%c%u.%u.%u.%u",
                  hstx == 1   ? '+'
                  : hstx == 2 ? '*'
                              : ' ',
                  a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
    return LString(text);
}

bool CKvsUnivList::BindCell(LListCell* frame, LCell cell) {
    if (!fStatus || cell.row < 0 || u32(cell.row) >= fStatus->GetListCount(DrcStatF::unvs))
        return false;
    const CRecord* u = fStatus->GetListItem(DrcStatF::unvs, u32(cell.row));
    auto* c = static_cast<CKvsUnivCell*>(frame);
    c->fList = this;
    c->fRow = cell.row;
    c->fUniverse.SetText(FormatUniverse(u->GetU32(UnvsF::univ)));
    c->fSender.SetText(SenderText(u));
    return true;
}

void CKvsUnivList::SetNumberFormat(u8 format) {
    if (format == fFormat) return;
    fFormat = format;
    RefreshAll();
}

u32 CKvsUnivList::GraphBars(const LRect& a, const u8* stat, u32 count, LRect* bars) {
    const i32 w = a.right - a.left - 2;
    const i32 h = a.bottom - a.top - 3;
    if (!stat || count < 2 || w <= 0 || h < 0) return 0;
    // A device may report more than a frame: the graph reads no further.
    count = std::min<u32>(count, kDmxSlots);
    u32 n = 0, m = 0, acc = 0;
    for (u32 ch = 1; ch < count; ++ch) {
        m = std::max<u32>(m, stat[ch]);
        acc += u32(w);
        if (acc < 512) continue;
        acc -= 512;
        const i32 x = a.left + 1 + i32(n);
        bars[n++] = LRect(x, (a.bottom - 2) - i32((m * u32(h) + 127) / 255), x + 1, a.bottom - 1);
        m = 0;
    }
    return n;
}

void CKvsUnivList::DrawGraph(void* cell, CCallbackCtl* pane, LDrawCtx& ctx) {
    const auto* c = static_cast<CKvsUnivCell*>(cell);
    const CRecord* status = c->fList ? c->fList->fStatus : nullptr;
    const CRecord* u = status && c->fRow >= 0 && u32(c->fRow) < status->GetListCount(DrcStatF::unvs)
                           ? status->GetListItem(DrcStatF::unvs, u32(c->fRow))
                           : nullptr;
    const LRect area = pane->Bounds();
    LPenRef back;
    MakePenById(&back, 6);
    LSolidFill(area, back).Draw(ctx);
    if (!u || area.Width() <= 2) return;
    std::vector<LRect> bars(size_t(area.Width()));
    const u32 n = GraphBars(area, static_cast<const u8*>(u->GetArrayData(UnvsF::stat)),
                            u->GetArrayCount(UnvsF::stat), bars.data());
    CDrawPattern fill;
    MakePenByColor(&fill.fPen, 0x00FF00FFu, 0);
    fill.fRects = bars.data();
    fill.fCount = n;
    fill.Draw(ctx);
}

void CKvsUnivList::Resync() {
    const i32 count = fStatus ? i32(fStatus->GetListCount(DrcStatF::unvs)) : 0;
    if (Rows() < count) InsertRows(Rows(), count - Rows());
    if (Rows() > count) RemoveRows(count, Rows() - count);
    RefreshAll();
}

void CKvsUnivList::OnChange(void* self, CRecordNote* note) {
    auto* list = static_cast<CKvsUnivList*>(self);
    CRecord* r = note->record;
    if (!r || !list->fStatus) return;
    if (IsItemOf(r, list->fStatus)) {
        // An item's own arrival and departure come with the list's notices below.
        if (note->kind != CRecordNote::kChanged) return;
        const LCell cell{0, i32(r->Position())};
        if (note->field != UnvsF::stat) {
            list->RefreshCell(cell);
            return;
        }
        // Levels change many times a second: only the graph is drawn again.
        LCellEnum e(list, cell, true);
        if (auto* c = static_cast<CKvsUnivCell*>(e.Frame())) e.Invalidate(&c->fGraph);
        return;
    }
    if (r != list->fStatus || note->field != DrcStatF::unvs) return;
    // A monitor fills its list one universe at a time: one row each, not the
    // whole list again for every one of 512 universes.
    const i32 at = i32(note->extra);
    if (note->kind == CRecordNote::kInserted && at >= 0 && at <= list->Rows())
        list->InsertRows(at, 1);
    else if (note->kind == CRecordNote::kRemoved && at >= 0 && at < list->Rows())
        list->RemoveRows(at, 1);
    else if (note->kind == CRecordNote::kChanged || note->kind == CRecordNote::kMoved ||
             note->kind == CRecordNote::kInserted || note->kind == CRecordNote::kRemoved)
        list->Resync();
}

// ---- CKvsUnvList

CKvsUnvList::CKvsUnvList(LPane* navi, CRecord* status)
    : CKvsUnivList(navi, status), fClickStamp(GraphicsServices().NowMs()) {}

CKvsUnvList::~CKvsUnvList() {
    if (fMonDoc) fMonDoc->RemoveListener(this, OnSourceChange);
    fMonDoc = nullptr;
    if (CMonWin* mon = fMon) {
        if (CRecord* prefs = AppPrefs())
            prefs->SetRectToArray(nullptr, PrefF::mnpl, mon->GetWindowBounds());
        fMon = nullptr;
        delete mon;
    }
}

void CKvsUnvList::SetMonitorTitle() {
    if (fMon) fMon->SetTitle(FormatUniverse(fSelected));
}

void CKvsUnvList::SetNumberFormat(u8 format) {
    CKvsUnivList::SetNumberFormat(format);
    SetMonitorTitle();
}

void CKvsUnvList::OpenMonitor() {
    const bool created = !fMon;
    if (created) {
        fMon = new CMonWin(this);
        SetMonitorTitle();
    }
    if (!fMonDoc && fStatus && (fMonDoc = fStatus->GetOwner()))
        fMonDoc->AddListener(this, OnSourceChange);
    fMon->ShowWindow();
    // Placed once shown: a first showing would move it again.
    if (CRecord* prefs = created ? AppPrefs() : nullptr) {
        const LRect r = prefs->GetRectFromArray(PrefF::mnpl);
        if (r.left < r.right && r.top < r.bottom) fMon->SetWindowBounds(r);
    }
    Feed();
}

void CKvsUnvList::Feed() {
    if (!fMon) return;
    const CRecord* u = fStatus ? FindUniverseRec(fStatus, fSelected) : nullptr;
    fFedPresent = u != nullptr;
    fMon->ShowFrame(FrameOf(u));
    if (!u) fMon->ResetStats();
}

void CKvsUnvList::OnSourceChange(void* self, CRecordNote* note) {
    auto* list = static_cast<CKvsUnvList*>(self);
    const CRecord* r = note->record;
    if (!r || !list->fStatus) return;
    if (IsItemOf(r, list->fStatus) && note->kind == CRecordNote::kChanged &&
        note->field == UnvsF::stat && r->GetU32(UnvsF::univ) == list->fSelected) {
        list->Feed();
        return;
    }
    if (r != list->fStatus || note->field != DrcStatF::unvs) return;
    // The list changes a universe at a time; the monitor is fed when its
    // universe came or went (or the whole list was replaced), not once for
    // each of the others, which would count as updates of its own.
    const bool present = FindUniverseRec(list->fStatus, list->fSelected) != nullptr;
    if (note->kind == CRecordNote::kChanged || present != (list->fFedPresent != 0)) list->Feed();
}

void CKvsUnvList::SetSource(CRecord* status) {
    if (status == fStatus) return;
    Unlisten();
    if (fMonDoc) fMonDoc->RemoveListener(this, OnSourceChange);
    fMonDoc = nullptr;
    Listen(status);
    if (fMon && fStatus && (fMonDoc = fStatus->GetOwner()))
        fMonDoc->AddListener(this, OnSourceChange);
    Resync();
    Feed();
}

void CKvsUnvList::StateChanged(u32 op) {
    CKvsUnivList::StateChanged(op);
    if (!fMon) return;
    if (IsShown()) {
        if (fMonOpen && !fMon->Window()->IsVisible()) fMon->ShowWindowNoActivate();
    } else if (fMon->Window()->IsVisible()) {
        fMon->HideWindow();
    }
}

LMessage CKvsUnvList::HandleMessage(const LMessage& msg) {
    // The frame that owns the window may delete it before this pane goes.
    if (fMon && msg.source == fMon && msg.Is(LFrame_Destructing)) {
        if (CRecord* prefs = AppPrefs())
            prefs->SetRectToArray(nullptr, PrefF::mnpl, fMon->GetWindowBounds());
        if (fMonDoc) fMonDoc->RemoveListener(this, OnSourceChange);
        fMonDoc = nullptr;
        fMon = nullptr;
        return CKvsUnivList::HandleMessage(msg);
    }
    if (fMon && msg.source == fMon && msg.Is(LFrame_Close)) {
        fMonOpen = 0;
        fMon->HideWindow();
        return LMessage();
    }
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse && msg.Is(LMouse_Release)) {
        // The list keeps no lasting selection.
        SelectNone();
        return CKvsUnivList::HandleMessage(msg);
    }
    LMessage next = CKvsUnivList::HandleMessage(msg);
    if (!(mouse && msg.source == mouse && msg.Is(LMouse_Click))) return next;
    const i32 row = LastClicked().row;
    const bool exists = fStatus && row >= 0 && u32(row) < fStatus->GetListCount(DrcStatF::unvs);
    const bool twice = mouse->IsDoubleClick(&fClickStamp) && row == fLastRow;
    if (twice && exists) {
        fMonOpen = 1;
        OpenMonitor();
    }
    if (exists) {
        fSelected = fStatus->GetListItem(DrcStatF::unvs, u32(row))->GetU32(UnvsF::univ);
        if (fMon) {
            SetMonitorTitle();
            fMon->ResetStats();
            Feed();
        }
        SelectCell(LCell{0, row});
    }
    fLastRow = row;
    return next;
}
