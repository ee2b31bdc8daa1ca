#include "editors/CKvsSchEditFrm.h"

#include <algorithm>
#include <string>

#include "base/Calendar.h"
#include "editors/CKvsSchList.h"
#include "editors/CSchPrdList.h"
#include "editors/DeviceHooks.h"
#include "editors/EditorKit.h"
#include "framework/CDragger.h"
#include "framework/LWindow.h"
#include "framework/StdDialogs.h"
#include "services/GraphicsServices.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/OneShotFields.h"
#include "records/RecordKinds.h"
#include "records/Schedule.h"
#include "records/ShowKinds.h"

namespace {

LTextStyle StyleOf(i32 font, i32 scale = 100) {
    LTextStyle s;
    s.fFont = LFont(font);
    if (scale != 100) s.fFont.SetScalePercent(scale);
    return s;
}

// A titled, closable utility panel that stays shown while the application is
// inactive.
LPaneOpt FloatPanel() {
    LPaneOpt o;
    o.type = kWindowOrdinary;
    o.kind.Reset(new CFloatPanel(1, CFloatPanel::kKeepOnDeactivate));
    o.kind->Release();  // the reference holds the only count
    return o;
}

bool IsExec(const CRecord* r) {
    return r && r->Family() == kFamKvt && r->Kind() == kKindScex;
}

}  // namespace

// ---------------------------------------------------------------- week list

CWeekCell::CWeekCell(LPane* list) : LListCell(list), fButton(this, StyleOf(2)) {
    SetLayoutByName("WEEKCELL", 1);
}

CWeekList::CWeekList(LPane* owner) : LCellListPane(owner, 0, true, false) {
    GetProtoCell();
    InsertRows(0, 1);
    InsertColumns(0, 7);
}

LListCell* CWeekList::CreateCell() {
    return new CWeekCell(this);
}

void CWeekList::SetupCell(LListCell* frame) {
    LCellListPane::SetupCell(frame);
    static_cast<CWeekCell*>(frame)->fButton.SetTitle(LString("M"));
}

u32 CWeekList::CellQuery(LCell* size) {
    auto* proto = static_cast<CWeekCell*>(GetProtoCell());
    LDrawCtx ctx;
    size->col = proto ? std::max(proto->GetPrefWidth(&ctx, 0), proto->Bounds().Width()) : 1;
    size->row = proto ? std::max(proto->fButton.GetPrefHeight(&ctx, 0), 1) : 1;
    size->col = std::max(size->col, 1);
    return kSizeAsQueried;
}

i32 CWeekList::GetPrefWidth(LDrawCtx*, i32) {
    LCell size;
    CellQuery(&size);
    return 7 * size.col;
}

i32 CWeekList::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    // One row: as high as the day button.
    if (auto* proto = static_cast<CWeekCell*>(GetProtoCell()))
        return proto->fButton.GetPrefHeight(ctx, hint);
    return LCellListPane::GetPrefHeight(ctx, hint);
}

bool CWeekList::BindCell(LListCell* frame, LCell cell) {
    if (cell.col < 0 || cell.col >= 7 || cell.row != 0) return false;
    auto* c = static_cast<CWeekCell*>(frame);
    c->fButton.SetTitle(StdDialogText("WEEKLIST", u32(cell.col)));
    c->fButton.SetState(fDays[cell.col]);
    return true;
}

void CWeekList::SetDay(u32 day, bool on) {
    if (day >= 7 || fDays[day] == u8(on)) return;
    fDays[day] = u8(on);
    RefreshCell(LCell{i32(day), 0});
}

LString CWeekList::Text() const {
    std::string s;
    for (u32 i = 0; i < 7; ++i)
        if (fDays[i]) s += std::to_string(i + 1) + ",";
    return LString(s.c_str());
}

LMessage CWeekList::HandleMessage(const LMessage& msg) {
    LCell cell;
    LListCell* frame = FindCellFrame(msg.source, &cell);
    if (frame && frame != msg.source && cell.col >= 0 && cell.col < 7 && msg.Is(LStdCtl_Selected) &&
        msg.source == &static_cast<CWeekCell*>(frame)->fButton) {
        fDays[cell.col] ^= 1;
        static_cast<CWeekCell*>(frame)->fButton.SetState(fDays[cell.col]);
        RefreshCell(cell);
        Send(CWeekList_Changed, this, fParent);
        return LMessage();
    }
    return LCellListPane::HandleMessage(msg);
}

// ---------------------------------------------------------------- conditions

CKvsSchPrmFrm::CKvsSchPrmFrm(LPane* parent)
    : LFrame(parent, parent),
      fL0(this),
      fYear(this),
      fL1(this),
      fMonth(this),
      fL2(this),
      fDay(this),
      fL3(this),
      fWeek(this),
      fL4(this),
      fHour(this),
      fL5(this),
      fMinute(this),
      fL6(this),
      fSecond(this) {
    LTextPane* labels[7] = {&fL0, &fL1, &fL2, &fL3, &fL4, &fL5, &fL6};
    for (u32 i = 0; i < 7; ++i) {
        labels[i]->SetText(StdDialogText("KVSSCHPRMF", i));
        labels[i]->SetStyle(LFont(2));
    }
    SetLayoutByName("KVSSCHPRMF", 1);
    SetState(kOpHide);
}

CKvsSchPrmFrm::~CKvsSchPrmFrm() {
    Listen(false);
}

void CKvsSchPrmFrm::Listen(bool on) {
    if (fDoc) fDoc->RemoveListener(this, Listener);
    fDoc = on && fEvent ? fEvent->GetOwner() : nullptr;
    if (fDoc) fDoc->AddListener(this, Listener);
}

LAsciiEdit* CKvsSchPrmFrm::Edit(u8 field) {
    switch (field) {
        case ScevF::fcpy:
            return &fYear;
        case ScevF::fcpm:
            return &fMonth;
        case ScevF::fcpd:
            return &fDay;
        case ScevF::fcph:
            return &fHour;
        case ScevF::fcpn:
            return &fMinute;
        case ScevF::fcps:
            return &fSecond;
        default:
            return nullptr;
    }
}

void CKvsSchPrmFrm::SetEvent(CRecord* event) {
    if (event != fEvent) {
        Listen(false);
        fEvent = event;
        Listen(true);
    }
    LoadFields();
    SetState(fEvent ? kOpShow : kOpHide);
}

void CKvsSchPrmFrm::LoadFields() {
    if (!fEvent) return;
    fLoading = true;
    const u8 fields[6] = {ScevF::fcpy, ScevF::fcpm, ScevF::fcpd,
                          ScevF::fcph, ScevF::fcpn, ScevF::fcps};
    for (u8 f : fields) {
        // Shown exactly as stored: a typed "09" stays "09".
        LAsciiEdit* e = Edit(f);
        if (!(e->GetText() == fEvent->GetString(f))) e->SetText(fEvent->GetString(f));
    }
    RangeList days;
    days.Parse(fEvent->GetString(ScevF::fcpw).CStr());
    for (u32 i = 0; i < 7; ++i) fWeek.SetDay(i, days.Matches(i + 1));
    fLoading = false;
}

LMessage CKvsSchPrmFrm::HandleMessage(const LMessage& msg) {
    if (fEvent && !fLoading && msg.Is(LEditText_Change)) {
        const u8 fields[6] = {ScevF::fcpy, ScevF::fcpm, ScevF::fcpd,
                              ScevF::fcph, ScevF::fcpn, ScevF::fcps};
        for (u8 f : fields)
            if (msg.source == Edit(f)) {
                fEvent->SetString(this, f, Edit(f)->GetText());
                return LMessage();
            }
    }
    if (msg.Is(CWeekList_Changed) && msg.source == &fWeek) {
        if (fEvent) fEvent->SetString(this, ScevF::fcpw, fWeek.Text());
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CKvsSchPrmFrm::Listener(void* self, CRecordNote* note) {
    auto* f = static_cast<CKvsSchPrmFrm*>(self);
    if (note->record != f->fEvent) return;
    if (note->kind == CRecordNote::kDetached)
        f->SetEvent(nullptr);
    else if (note->kind == CRecordNote::kChanged) {
        LFieldRefresh refresh;
        f->LoadFields();
    }
}

// ---------------------------------------------------------------- execution

CKvsSchAuxFrm::CKvsSchAuxFrm(LPane* parent)
    : LFrame(parent, parent),
      fDurLabel(this),
      fDuration(this, 0, 1, 0),
      fModeLabel(this),
      fMode(this, StyleOf(2)),
      fOffsetLabel(this),
      fOffset(this, 0, 100, 1),
      fLine(this, this) {
    LTextPane* labels[3] = {&fDurLabel, &fModeLabel, &fOffsetLabel};
    for (u32 i = 0; i < 3; ++i) {
        labels[i]->SetText(StdDialogText("KVSSCHAUXF", i));
        labels[i]->SetStyle(LFont(2));
    }
    for (u32 i = 3; i <= 6; ++i) fMode.AddItem(StdDialogText("KVSSCHAUXF", i));
    fDuration.SetRange(0, 86399, 1);
    SetLayoutByName("KVSSCHAUXF", 1);
    SetState(kOpHide);
}

CKvsSchAuxFrm::~CKvsSchAuxFrm() {
    SetRecord(nullptr, nullptr);
}

void CKvsSchAuxFrm::SetRecord(CRecord* record, CRecord* event) {
    if (!IsExec(record)) record = nullptr;
    CRecordDoc* doc = event ? event->GetOwner() : record ? record->GetOwner() : nullptr;
    // Listens on the document, not the record: the event's `axud` may be
    // replaced or removed by a whole-record read, and the frame must follow.
    if (doc != fDoc) {
        if (fDoc) fDoc->RemoveListener(this, Listener);
        fDoc = doc;
        if (fDoc) fDoc->AddListener(this, Listener);
    }
    fRecord = record;
    fEvent = event;
    LoadFields();
    SetState(fRecord ? kOpShow : kOpHide);
}

void CKvsSchAuxFrm::LoadFields() {
    if (fRecord) {
        fDuration.SetTime(i32(std::min<u32>(fRecord->GetU32(ScexF::tmdr), 86399)), 1);
        fMode.Select(fRecord->GetU8(ScexF::symd));
        fOffset.SetTime(fRecord->GetI32(ScexF::syof), 1000);
    }
    UpdateVisibility();
}

void CKvsSchAuxFrm::UpdateVisibility() {
    const u32 op = fMode.GetSelected() > 0 ? kOpShow : kOpHide;
    fOffsetLabel.SetState(op);
    fOffset.SetState(op);
}

LMessage CKvsSchAuxFrm::HandleMessage(const LMessage& msg) {
    if (fRecord && msg.Is(CNumVol_Fix)) {
        if (msg.source == &fDuration) {
            fRecord->SetU32(this, ScexF::tmdr, u32(std::max(fDuration.GetScaledValue(1), 0)));
            return LMessage();
        }
        if (msg.source == &fOffset) {
            fRecord->SetI32(this, ScexF::syof, fOffset.GetScaledValue(1000));
            return LMessage();
        }
    }
    if (msg.Is(LPopupList_Changed) && msg.source == &fMode) {
        if (fRecord) fRecord->SetU8(this, ScexF::symd, u8(std::max(fMode.GetSelected(), 0)));
        UpdateVisibility();
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CKvsSchAuxFrm::Listener(void* self, CRecordNote* note) {
    auto* f = static_cast<CKvsSchAuxFrm*>(self);
    CRecord* r = note->record;
    if (!r) return;
    if (f->fEvent && r == f->fEvent && note->kind == CRecordNote::kDetached) {
        f->SetRecord(nullptr, nullptr);
        return;
    }
    // A new, changed or removed `axud` of the event, or the bound record
    // leaving: rebind to what the event holds now (hidden when nothing).
    if ((f->fEvent && r == f->fEvent && note->field == ScevF::axud) ||
        (r == f->fRecord && note->kind == CRecordNote::kDetached)) {
        f->SetRecord(f->fEvent ? f->fEvent->GetChild(ScevF::axud) : nullptr, f->fEvent);
        return;
    }
    if (r == f->fRecord && note->kind == CRecordNote::kChanged) f->LoadFields();
}

// ---------------------------------------------------------------- edit frame

CKvsSchEditFrm::CKvsSchEditFrm(LHandler* parent, LPane* container, MPlayDevice* device,
                               CRecord* seqSettings)
    : LFrame(parent, container),
      fDevice(device),
      fSettings(seqSettings),
      fCheck(this),
      fMode(this, StyleOf(2)),
      fHeader(this, 0, 0, 0),
      fAdd(this) {
    fNavi = new LListNavi(this, LListNavi::kVerticalBar, true);
    fList = new CKvsSchList(fNavi, device, seqSettings, &fHeader);
    fNavi->SetList(fList);
    fInner = new LFrame(this, this);
    fPrm = new CKvsSchPrmFrm(fInner);
    fAux = new CKvsSchAuxFrm(fInner);
    fAddPeriod = new CPlusButton(fInner);
    fPrdNavi = new LListNavi(fInner, LListNavi::kVerticalBar, true);
    fPeriods = new CSchPrdList(fPrdNavi);
    fPrdNavi->SetList(fPeriods);
    fInner->SetLayoutByName("KVSSCHFLTF", 1);
    SetLayoutByName("KVSSCHEDIT", 1);
    fCheck.SetTitle(StdDialogText("KVSSCHEDIT", 0));
    for (u32 i = 1; i <= 3; ++i) fMode.AddItem(StdDialogText("KVSSCHEDIT", i));
    BindSelected();
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->AddListener(this, Listener);
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->AddListener(this, Listener);
}

CKvsSchEditFrm::~CKvsSchEditFrm() {
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->RemoveListener(this, Listener);
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->RemoveListener(this, Listener);
    delete fInner;
    delete fNavi;
}

void CKvsSchEditFrm::ReadDeviceState() {
    if (fSettings) fMode.Select(fSettings->GetU8(SqstF::ustc));
    const CRecord* state = fDevice ? DocRoot(fDevice->StateDoc()) : nullptr;
    fCheck.SetState(state && state->GetU8(DvssF::insc) == 0 ? 1 : 0);
}

void CKvsSchEditFrm::BindSelected() {
    const i32 row = fList->SelectedRow();
    CRecord* sched = fList->Schedule();
    if (sched && row >= 0 && u32(row) < fList->Count()) {
        CRecord* ev = sched->GetListItem(SchdF::flts, u32(row));
        fPrm->SetEvent(ev);
        fAux->SetRecord(ev->GetChild(ScevF::axud), ev);
        fPeriods->SetEvent(ev);
        return;
    }
    fPrm->SetEvent(nullptr);
    fAux->SetRecord(nullptr, nullptr);
    fPeriods->SetEvent(nullptr);
    ReadDeviceState();
}

LMessage CKvsSchEditFrm::HandleMessage(const LMessage& msg) {
    if (msg.Is(LListPane_SelChange) && msg.source == fList) {
        BindSelected();
        return LMessage();
    }
    if (msg.Is(LStdCheck_Change) && msg.source == &fCheck) {
        CRecord* cmd = fDevice ? DocRoot(fDevice->CommandDoc()) : nullptr;
        if (cmd && fDevice->DeviceSerial() != 0)
            SetCommandOneShot(cmd, DvcmF::sisc, fCheck.GetState() ? 0 : 1);
        return LMessage();
    }
    if (msg.Is(LPopupList_Changed) && msg.source == &fMode) {
        if (fSettings && fMode.GetSelected() >= 0)
            fSettings->SetU8(nullptr, SqstF::ustc, u8(fMode.GetSelected()));
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CKvsSchEditFrm::PostLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) {
    LFrame::PostLayoutVM(ctx, vm);
    fList->AlignHeader(ctx);
}

void CKvsSchEditFrm::Listener(void* self, CRecordNote* note) {
    auto* f = static_cast<CKvsSchEditFrm*>(self);
    const CRecord* r = note->record;
    if (!r || note->kind != CRecordNote::kChanged) return;
    const CRecord* state = f->fDevice ? DocRoot(f->fDevice->StateDoc()) : nullptr;
    if (r == state && note->field == DvssF::insc)
        f->fCheck.SetState(r->GetU8(DvssF::insc) == 0 ? 1 : 0);
    else if (r == f->fSettings && note->field == SqstF::ustc)
        f->fMode.Select(r->GetU8(SqstF::ustc));
}

// ---------------------------------------------------------------- test window

CSchTestWin::CSchTestWin(LHandler* parent, LPane* container)
    : LFrame(parent, container, FloatPanel()),
      fYear(this),
      fSlash1(this),
      fMonth(this),
      fSlash2(this),
      fDay(this),
      fWeekday(this),
      fTime(this, 0, 1, 0) {
    LFont big(3);
    big.SetScalePercent(200);
    for (LTextPane* t : {&fSlash1, &fSlash2, &fWeekday}) t->SetStyle(big);
    fSlash1.SetText(LString("/"));
    fSlash2.SetText(LString("/"));
    for (CNumVol* n : std::initializer_list<CNumVol*>{&fYear, &fMonth, &fDay, &fTime})
        n->SetStyle(big);
    fYear.SetRange(2016, 2999, 1);
    fMonth.SetRange(1, 12, 1);
    fDay.SetRange(1, 31, 1);
    fTime.SetRange(0, 86399, 1);
    DateTime now;
    DateTime::FromAbsolute(now, AbsTimeToLocal(GetAbsTimeNow()));
    fYear.SetValue(f32(now.year));
    fMonth.SetValue(now.month);
    fDay.SetValue(now.day);
    fTime.SetTime(now.hour * 3600 + now.minute * 60 + i32(now.second), 1);
    SetLayoutByName("SCHTESTWIN", 1);
    LPenRef back;
    MakePenById(&back, 1);
    SetBackColor(back);
    SetTitle(StdDialogText("SCHTESTWIN", 0));
    Normalise();
}

CalDateTime CSchTestWin::TestTime() {
    CalDateTime d;
    d.year = u16(std::clamp<f64>(fYear.GetValue(), 0, 65535));
    d.month = u8(std::clamp<f64>(fMonth.GetValue(), 0, 255));
    d.day = u8(std::clamp<f64>(fDay.GetValue(), 0, 255));
    const i32 t = std::clamp(fTime.GetScaledValue(1), 0, 86399);
    d.hour = u8(t / 3600);
    d.minute = u8(t / 60 % 60);
    d.second = u8(t % 60);
    NormaliseDateTime(d);
    return d;
}

void CSchTestWin::Normalise() {
    const CalDateTime d = TestTime();
    fYear.SetValue(d.year);
    fMonth.SetValue(d.month);
    fDay.SetValue(d.day);
    fTime.SetTime(d.hour * 3600 + d.minute * 60 + d.second, 1);
    fWeekday.SetText(StdDialogText("SCHTESTWIN", u32(d.weekday) + 1));
}

LMessage CSchTestWin::HandleMessage(const LMessage& msg) {
    if (msg.Is(CNumVol_Fix) && (msg.source == &fYear || msg.source == &fMonth ||
                                msg.source == &fDay || msg.source == &fTime)) {
        Normalise();
        Send(CSchTestWin_Change, this, fParent);
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}
