#include "editors/CKvsSchList.h"

#include <algorithm>
#include <memory>
#include <string>

#include "editors/CSchPrdList.h"
#include "editors/DeviceHooks.h"
#include "editors/EditorKit.h"
#include "editors/LListEdit.h"
#include "framework/CHeaderFrame.h"
#include "framework/LDrawObj.h"
#include "framework/layout/LLayoutVM.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/OneShotFields.h"
#include "records/RecordKinds.h"
#include "records/Schedule.h"
#include "records/ScrapTypeNames.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kStrings = "KVSSCHLIST";

}  // namespace

CKvsSchCell::CKvsSchCell(LPane* list, MPlayDevice* device, CRecord* seqSettings)
    : LListCell(list),
      fMark(this),
      fPlay(this, Style2()),
      fName(this),
      fSlot(this, this, device, seqSettings) {
    fMark.SetText(LString("\xE2\x96\xB6"));
    LPenRef green;
    MakePenByColor(&green, kPlayGreen, 0);
    fMark.SetColor(green);
    SetLayoutByName("KVSSCHCELL", 1);
}

void CKvsSchCell::PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) {
    LListCell::PreLayoutVM(ctx, vm);
    auto* list = dynamic_cast<CKvsSchList*>(fContainer);
    vm.SetGlobal("slotw", list ? list->SlotTitleWidth(ctx) : 0);
}

CKvsSchList::CKvsSchList(LPane* owner, MPlayDevice* device, CRecord* seqSettings,
                         CHeaderFrameV* header)
    : LTypedCellList(owner), fDevice(device), fSettings(seqSettings), fHeader(header) {
    SetModifierClicksSelectRows(true);
    OpenList(Count());
    if (fHeader) {
        LDrawCtx ctx;
        for (u32 i = 0; i < 3; ++i) fHeader->AddItem(StdDialogText(kStrings, i), Style2(), &ctx);
    }
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->AddListener(this, Listener);
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->AddListener(this, Listener);
    if (const CRecord* state = fDevice ? DocRoot(fDevice->StateDoc()) : nullptr)
        fCurrent = state->GetU32(DvssF::scen);
}

CKvsSchList::~CKvsSchList() {
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->RemoveListener(this, Listener);
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->RemoveListener(this, Listener);
}

CRecord* CKvsSchList::Schedule() const {
    return fSettings ? fSettings->GetChild(SqstF::schd) : nullptr;
}

u32 CKvsSchList::Count() const {
    const CRecord* s = Schedule();
    return s ? s->GetListCount(SchdF::flts) : 0;
}

i32 CKvsSchList::SelectedRow() const {
    const LRgn& sel = Selection();
    return sel.IsEmpty() ? -1 : sel.GetBounds().top;
}

LListCell* CKvsSchList::CreateCell() {
    return new CKvsSchCell(this, fDevice, fSettings);
}

u32 CKvsSchList::CellQuery(LCell* size) {
    auto* proto = static_cast<CKvsSchCell*>(GetProtoCell());
    size->col = fBounds.Width();
    size->row = proto ? ProtoRowHeight({&proto->fPlay, &proto->fName}) : 1;
    return kSizeAsQueried;
}

void CKvsSchList::AlignHeader(LDrawCtx* ctx) {
    auto* proto = static_cast<CKvsSchCell*>(GetProtoCell());
    if (!fHeader || !proto) return;
    const i32 dx = fBounds.left - fHeader->Bounds().left;
    const LPane* at[3] = {&proto->fPlay, &proto->fName, &proto->fSlot};
    for (i32 i = 0; i < 3; ++i) fHeader->PlaceItemAtX(i, dx + at[i]->Bounds().left, 0, ctx);
}

i32 CKvsSchList::SlotTitleWidth(LDrawCtx* ctx) {
    if (!fHeader || !fHeader->Item(2)) return 0;
    const i32 listRight = i32(LPane::UnpackX(GetTopLeftIn(nullptr))) + fBounds.Width();
    const i32 headerRight =
        i32(LPane::UnpackX(fHeader->GetTopLeftIn(nullptr))) + fHeader->Bounds().Width();
    return fHeader->ItemPrefWidth(2, ctx) + std::max(0, listRight - headerRight);
}

bool CKvsSchList::BindCell(LListCell* frame, LCell cell) {
    if (cell.row < 0 || u32(cell.row) >= Count()) return false;
    auto* c = static_cast<CKvsSchCell*>(frame);
    const CRecord* ev = Schedule()->GetListItem(SchdF::flts, u32(cell.row));
    c->fMark.SetState(u32(cell.row) == fCurrent ? kOpShow : kOpHide);
    c->fName.SetText(ev->GetString(ScevF::name));
    const CRecord* ex = ev->GetChild(ScevF::axud);
    const bool isExec = ex && ex->Family() == kFamKvt && ex->Kind() == kKindScex;
    c->fSlot.SetSequence(fSettings, isExec ? ex->GetU32(ScexF::sqid) : 0);
    return true;
}

void CKvsSchList::SetTestTime(const CalDateTime* when) {
    fTestMode = when != nullptr;
    if (when) fTestTime = *when;
    UpdateCurrent();
}

void CKvsSchList::UpdateCurrent() {
    u32 now = u32(-1);
    if (fTestMode) {
        if (const CRecord* s = Schedule()) now = u32(FindActiveScheduleEntry(s, fTestTime));
    } else if (const CRecord* state = fDevice ? DocRoot(fDevice->StateDoc()) : nullptr) {
        now = state->GetU32(DvssF::scen);
    }
    if (now == fCurrent) return;
    const u32 old = fCurrent;
    fCurrent = now;
    if (old < Count()) RefreshCell(LCell{0, i32(old)});
    if (now < Count()) RefreshCell(LCell{0, i32(now)});
}

void CKvsSchList::RowsRefreshed() {
    UpdateCurrent();
}

void CKvsSchList::Play(u32 row) {
    CRecord* cmd = fDevice ? DocRoot(fDevice->CommandDoc()) : nullptr;
    if (cmd && fDevice->DeviceSerial() != 0) {
        LString path("/schd/flts/");
        path = LString((std::string(path.CStr()) + std::to_string(row)).c_str());
        SetField2Transient(cmd, path);
    }
    SelectCell(LCell{0, i32(row)});
    // The play button takes no focus: keys and menus go to the event now
    // shown selected, not to a period's field that held the focus before.
    RequestFocus();
}

void CKvsSchList::ChooseSequence(u32 row, u32 sqid) {
    CRecord* ev = Schedule()->GetListItem(SchdF::flts, row);
    std::unique_ptr<CUndoStrm> group(
        CUndoStrm::Open(this, nullptr, nullptr, "", 0, CUndoStrm::kMergeNew));
    CRecord* ex = ev->GetChild(ScevF::axud);
    if (!ex || ex->Family() != kFamKvt || ex->Kind() != kKindScex) {
        // An event may come without an execution record (or with another
        // kind there): it gets a default one, in the same undo step, so that
        // the choice has a record to live in.
        CRecord* fresh = CRecord::New(CRecordSchema::Find(kFamKvt, kKindScex));
        if (!fresh) return;
        CRecord::Destroy(ev->ReplaceChild(this, ScevF::axud, fresh));
        ex = fresh;
    }
    ex->SetU32(this, ScexF::sqid, sqid);
}

LMessage CKvsSchList::HandleMessage(const LMessage& msg) {
    CRecord* sched = Schedule();
    if (!sched) return LTypedCellList::HandleMessage(msg);
    bool passOn = false;
    if (LListEdit::RowStep(this, sched, SchdF::flts, kScrapSchedule, fHelper, msg, &passOn))
        return passOn ? LTypedCellList::HandleMessage(msg) : LMessage();
    LCell cell;
    LListCell* frame = FindCellFrame(msg.source, &cell);
    if (!frame || frame == msg.source) return LTypedCellList::HandleMessage(msg);
    if (cell.row < 0 || u32(cell.row) >= Count()) {
        if (msg.Is(LEditText_Change)) return LMessage();
        return LTypedCellList::HandleMessage(msg);
    }
    auto* c = static_cast<CKvsSchCell*>(frame);
    const u32 row = u32(cell.row);
    if (msg.Is(LEditText_Change)) {
        if (msg.source == &c->fName)
            sched->GetListItem(SchdF::flts, row)->SetString(this, ScevF::name, c->fName.GetText());
        return LMessage();
    }
    if (msg.Is(CKvsSeqSlotEx_Seq) && msg.source == &c->fSlot) {
        ChooseSequence(row, c->fSlot.ChosenId());
        return LMessage();
    }
    if (msg.Is(CStateButton_Push) && msg.source == &c->fPlay) {
        Play(row);
        return LMessage();
    }
    if (msg.Is(LPane_Focus)) SelectCell(LCell{0, i32(row)});
    return LTypedCellList::HandleMessage(msg);
}

void CKvsSchList::Listener(void* self, CRecordNote* note) {
    static_cast<CKvsSchList*>(self)->OnChange(note);
}

void CKvsSchList::OnChange(CRecordNote* note) {
    CRecord* r = note->record;
    if (!r || r->Family() != kFamKvt) return;
    if (IsSequenceRecordChange(note)) RefreshAll();
    CRecord* sched = Schedule();
    const u32 kind = r->Kind();
    if (kind == kKindDvss) {
        if (note->kind == CRecordNote::kChanged && note->field == DvssF::scen) UpdateCurrent();
        return;
    }
    if (r == fSettings && note->field == SqstF::schd && note->kind == CRecordNote::kChanged) {
        // A whole schedule read from the device: the rows follow its count.
        if (const i32 n = Rows()) RemoveRows(0, n);
        if (const u32 n = Count()) InsertRows(0, i32(n));
        UpdateCurrent();
        return;
    }
    if (!sched) return;
    if (r == sched && note->field == SchdF::flts) {
        // The event in effect is looked for once the rows have settled
        // (RowsRefreshed): in test mode that looks at every event.
        if (LListEdit::FollowRows(this, *note)) RefreshAll();
        return;
    }
    if (!r->IsDescendantOf(sched)) return;
    if (kind == kKindScep) {
        if (note->kind == CRecordNote::kChanged || note->kind == CRecordNote::kInserted ||
            note->kind == CRecordNote::kRemoved)
            UpdateCurrent();
        return;
    }
    if (kind == kKindScev && note->kind == CRecordNote::kChanged && r->Parent() == sched) {
        RefreshCell(LCell{0, i32(r->Position())});
        UpdateCurrent();
        return;
    }
    if (kind == kKindScex && note->kind == CRecordNote::kChanged) {
        const CRecord* ev = r->Parent();
        if (note->field == ScexF::sqid && ev && ev->Parent() == sched)
            RefreshCell(LCell{0, i32(ev->Position())});
        else if (note->field == ScexF::tmdr)
            UpdateCurrent();
    }
}
