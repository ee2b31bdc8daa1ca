#include "editors/CKvsScnList.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "base/LTextSink.h"
#include "editors/DeviceHooks.h"
#include "editors/EditorKit.h"
#include "editors/LListEdit.h"
#include "editors/PlayHooks.h"
#include "framework/CHeaderFrame.h"
#include "framework/LDrawObj.h"
#include "framework/LMenu.h"
#include "framework/MoveSelectedItems.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/OneShotFields.h"
#include "records/RecScrap.h"
#include "records/ScrapTypeNames.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"
#include "records/SortedLists.h"

namespace {

constexpr u32 kMsPerSecond = 1000;

i32 ClampI32(i64 v) {
    return i32(
        std::clamp<i64>(v, std::numeric_limits<i32>::min(), std::numeric_limits<i32>::max()));
}

}  // namespace

// ---------------------------------------------------------------- cell

CKvsScnCell::CKvsScnCell(LPane* list)
    : LListCell(list),
      fMeter(this),
      fMark(this),
      fPlay(this, Style2()),
      fTime(this, 0, 100, 0),
      fName(this) {
    LPenRef grey;
    MakePenByGray(&grey, 4);
    fMeter.SetOffColor(grey);
    fMark.SetText(LString(" \xE2\x96\xB6 "));
    LPenRef green;
    MakePenByColor(&green, kPlayGreen, 0);
    fMark.SetColor(green);
    fPlay.SetTitle(LString("\xE2\x96\xB6"));
    SetLayoutByName("KVSSCNCELL", 1);
}

// ---------------------------------------------------------------- list

CKvsScnList::CKvsScnList(LPane* owner, MPlayDevice* device, CRecord* seqSettings,
                         CHeaderFrameV* header)
    : LTypedCellList(owner), fDevice(device), fSettings(seqSettings), fHeader(header) {
    SetModifierClicksSelectRows(true);
    OpenList(0);
    if (fHeader) {
        LDrawCtx ctx;
        for (u32 i = 0; i < 3; ++i)
            fHeader->AddItem(StdDialogText("KVSSCNLIST", i), Style2(), &ctx);
    }
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->AddListener(this, Listener);
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->AddListener(this, Listener);
}

CKvsScnList::~CKvsScnList() {
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->RemoveListener(this, Listener);
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->RemoveListener(this, Listener);
}

u8 CKvsScnList::ListField() const {
    return fMode == 1 ? SqncF::auss : SqncF::scns;
}

u32 CKvsScnList::Count() const {
    return fSeq ? fSeq->GetListCount(ListField()) : 0;
}

CRecord* CKvsScnList::State() const {
    return fDevice && fDevice->StateDoc() ? fDevice->StateDoc()->Root() : nullptr;
}

void CKvsScnList::SetSequence(CRecord* sequence) {
    if (sequence == fSeq) return;
    SetSelection(LRgn());
    if (Rows() > 0) RemoveRows(0, Rows());
    fSeq = sequence;
    if (const u32 n = Count()) InsertRows(0, i32(n));
    UpdatePlayState();
}

void CKvsScnList::SetMode(u32 mode) {
    const u8 old = ListField();
    fMode = mode;
    if (ListField() != old) {
        SetSelection(LRgn());
        if (Rows() > 0) RemoveRows(0, Rows());
        if (const u32 n = Count()) InsertRows(0, i32(n));
    }
    UpdatePlayState();
}

LListCell* CKvsScnList::CreateCell() {
    return new CKvsScnCell(this);
}

u32 CKvsScnList::CellQuery(LCell* size) {
    // As wide as the list, as high as the layout made the prototype's parts.
    auto* proto = static_cast<CKvsScnCell*>(GetProtoCell());
    i32 h = 1;
    if (proto)
        h = std::max({h, proto->fMeter.Bounds().bottom, proto->fPlay.Bounds().bottom + 1,
                      proto->fTime.Bounds().bottom + 1, proto->fName.Bounds().bottom + 1});
    size->col = fBounds.Width();
    size->row = h;
    return kSizeAsQueried;
}

i64 CKvsScnList::SceneDuration(u32 row) const {
    const u8 f = ListField();
    if (!fSeq || row >= Count()) return 0;
    const CRecord* scene = fSeq->GetListItem(f, row);
    if (row + 1 < Count()) {
        const i64 d =
            i64(fSeq->GetListItem(f, row + 1)->GetI32(ScenF::sntm)) - scene->GetI32(ScenF::sntm);
        return std::max<i64>(d, 0);
    }
    const CRecord* clip = scene->GetChild(ScenF::ctdr);
    if (clip) {
        const i64 d = i64(clip->GetI32(SnctF::entm)) - clip->GetI32(SnctF::sttm);
        if (d > 0) return d;
    }
    return kOpenEndMs;
}

i64 CKvsScnList::TimeLeft(u32 row) const {
    const CRecord* state = State();
    if (!fSeq || row >= Count() || !state) return 0;
    const i64 d = SceneDuration(row);
    const i64 e = std::max<i64>(
        i64(state->GetI32(DvssF::sqtm)) - fSeq->GetListItem(ListField(), row)->GetI32(ScenF::sntm),
        0);
    return d - std::min(d, e);
}

bool CKvsScnList::BindCell(LListCell* frame, LCell cell) {
    if (!fSeq || cell.row < 0 || u32(cell.row) >= Count()) return false;
    auto* c = static_cast<CKvsScnCell*>(frame);
    const u32 row = u32(cell.row);
    const CRecord* scene = fSeq->GetListItem(ListField(), row);
    const bool current = i32(row) == fCurRow;
    c->fMeter.SetMax(u32(std::min<i64>(SceneDuration(row), std::numeric_limits<i32>::max())));
    c->fMeter.SetPoint(current ? ClampI32(TimeLeft(row)) : 0);
    c->fMeter.SetPointVisible(current ? 1 : 0);
    c->fMark.SetState(current ? kOpShow : kOpHide);
    c->fName.SetText(scene->GetString(ScenF::snnm));
    c->fTime.SetTime(scene->GetI32(ScenF::sntm), kMsPerSecond);
    return true;
}

LRect CKvsScnList::TimeLineRect() const {
    if (fTimeRow < 0 || Count() == 0) return LRect();
    const bool past = u32(fTimeRow) >= Count();
    const LRect r = GetCellRect(LCell{0, past ? i32(Count()) - 1 : fTimeRow});
    const i32 y = past ? r.bottom : r.top;
    return LRect(r.left, y - 1, r.right, y + 1);
}

void CKvsScnList::InvalidateLine(i32 row) {
    const i32 keep = fTimeRow;
    fTimeRow = row;
    const LRect r = TimeLineRect();
    fTimeRow = keep;
    if (!r.IsEmpty()) InvalidateRect(LRgn(r), LRgn(r));
}

void CKvsScnList::Draw(LDrawCtx& ctx) {
    LTypedCellList::Draw(ctx);
    const LRect r = TimeLineRect();
    if (r.IsEmpty()) return;
    LRgnFill line;
    line.fRegion = LRgn(r);
    MakePenByColor(&line.fPen, kPlayGreen, 0);
    ctx.ApplyClip();
    line.Draw(ctx);
}

void CKvsScnList::UpdatePlayState() {
    const CRecord* state = State();
    i32 timeRow = -1;
    i32 curRow = -1;
    if (fSeq && state) {
        if (fSeq->GetU32(SqncF::sqid) == state->GetU32(DvssF::sqid))
            timeRow = i32(LowerBoundByKey(fSeq, ListField(), state->GetI32(DvssF::sqtm)));
        const LString& path = state->GetString(fMode == 1 ? DvssF::cras : DvssF::crsn);
        u8 field = kRecSelf;
        u32 index = kRecNoIndex;
        const CRecord* at = LRecPath::Resolve(path.CStr(), fSettings, &field, &index);
        if (at == fSeq && field == ListField() && index < Count())
            curRow = i32(index);
        else if (at && field == kRecSelf && at->Parent() == fSeq &&
                 at->ParentField() == ListField())
            curRow = i32(at->Position());
    }
    if (timeRow != fTimeRow) {
        InvalidateLine(fTimeRow);
        fTimeRow = timeRow;
        InvalidateLine(fTimeRow);
    }
    if (curRow != fCurRow) {
        const i32 old = fCurRow;
        fCurRow = curRow;
        if (old >= 0) RefreshCell(LCell{0, old});
        if (curRow >= 0) RefreshCell(LCell{0, curRow});
    } else if (curRow >= 0) {
        // The marker moves with the sequence time.
        RefreshCell(LCell{0, curRow});
    }
}

void CKvsScnList::RowsRefreshed() {
    UpdatePlayState();
}

void CKvsScnList::PlayFrom(i64 t, u32 row) {
    CRecord* cmd = fDevice && fDevice->CommandDoc() ? fDevice->CommandDoc()->Root() : nullptr;
    if (!cmd || !fSeq || row >= Count()) return;
    if (fCurRow < 0) {
        LTextStream path;
        if (LRecPath::Append(fSettings, fSeq->GetListItem(ListField(), row), kRecSelf, kRecNoIndex,
                             path))
            SetField2Transient(cmd, path.ToString());
    }
    SetCommandOneShot(cmd, DvcmF::pltm, ClampI32(t));
}

void CKvsScnList::Paste() {
    LClipboard* clip = LClipboard::Instance();
    if (!clip || !fSeq) return;
    const LRgn& sel = Selection();
    u32 at = std::min(sel.IsEmpty() ? Count() : u32(std::max(sel.GetBounds().top, 0)), Count());
    const u32 first = at;
    CClipboardSource* source = CClipboardSource::New();
    {
        CRecScrapReader reader(source, ScrapTypeOf(kScrapScene));
        auto group = UndoGroup(this);
        CUniqueNames names(fSeq, ListField(), ScenF::snnm);
        while (CRecord* r = reader.ReadRecord()) {
            if (r->Family() != kFamKvt || r->Kind() != kKindScen) {
                CRecord::Destroy(r);
                continue;
            }
            InsertSceneUnique(fSeq, this, ListField(), at++, r, &names);
        }
    }
    source->Release();
    if (at > first) SetSelection(LRgn(LRect(0, i32(first), 1, i32(at))));
}

i32 CKvsScnList::HandleDrag(const LMessage& msg) {
    const u32 code = fHelper.HandleMouse(msg);
    switch (code) {
        case CListDragDropHelper::kNotMine:
            return 0;
        case CListDragDropHelper::kSupplyData:
            if (fSeq) {
                const LRgn& sel = Selection();
                fHelper.SetDragData(
                    LListEdit::CopySelection(fSeq, ListField(), sel, true, kScrapScene),
                    sel.GetBounds().Height() != 1);
            }
            // Back to the dragger, which runs the drag.
            return 0;
        case CListDragDropHelper::kDragEntered:
            // Without a sequence there is nothing to drop into.
            if (fSeq && DragHasType(fHelper.Drag(), ScrapTypeOf(kScrapScene)))
                fHelper.BeginDragOver(fHelper.ResultOperation());
            return -1;
        case CListDragDropHelper::kPerformDrop: {
            LDrop* drag = fHelper.Drag();
            if (!fSeq || !drag) {
                fHelper.SetOperation(0);
                return -1;
            }
            const u8 f = ListField();
            const u32 target = std::min(u32(std::max(fHelper.MarkCell().row, 0)), Count());
            auto group = UndoGroup(this);
            if (fHelper.SourceCell().row >= 0 && fHelper.ResultOperation() == 2) {
                std::vector<u32> rows;
                LSelIter it;
                it.Init(Selection(), true, false);
                while (it.Next())
                    if (it.Cell().row >= 0 && u32(it.Cell().row) < Count())
                        rows.push_back(u32(it.Cell().row));
                std::sort(rows.begin(), rows.end());
                rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
                MoveIndexAdjuster adj;
                adj.Init(target);
                for (u32 i : rows) {
                    const u32 now = adj.Next(i);
                    CRecord* scene = fSeq->DetachItem(this, f, now);
                    // The gap counts the scene itself while it stood above it.
                    const u32 gap = now < adj.Gap() ? adj.Gap() - 1 : adj.Gap();
                    if (scene) InsertSceneUnique(fSeq, this, f, gap, scene);
                    adj.Placed(i);
                }
                fHelper.SetOperation(2);
            } else {
                CRecScrapReader reader(drag->Source(), ScrapTypeOf(kScrapScene));
                CUniqueNames names(fSeq, f, ScenF::snnm);
                u32 at = target;
                while (CRecord* r = reader.ReadRecord()) {
                    if (r->Family() != kFamKvt || r->Kind() != kKindScen) {
                        CRecord::Destroy(r);
                        continue;
                    }
                    InsertSceneUnique(fSeq, this, f, at++, r, &names);
                }
                fHelper.SetOperation(3);
            }
            return -1;
        }
        default:
            return -1;
    }
}

LMessage CKvsScnList::HandleCellMessage(const LMessage& msg, CKvsScnCell* c, u32 row) {
    CRecord* scene = fSeq->GetListItem(ListField(), row);
    if (msg.Is(LEditText_Change) && msg.source == &c->fName) {
        scene->SetString(this, ScenF::snnm, c->fName.GetText());
        return LMessage();
    }
    if (msg.Is(CNumVol_Fix) && msg.source == &c->fTime) {
        const i32 t = c->fTime.GetScaledValue(kMsPerSecond);
        if (t == scene->GetI32(ScenF::sntm)) {
            // Nothing changed: no undo step that Undo would take back without
            // a trace, and the field shows the time as it stands.
            RefreshCell(LCell{0, i32(row)});
            return LMessage();
        }
        u32 now;
        {
            auto group = UndoGroup(this);
            now = MoveSortedItem(fSeq, this, ListField(), row, t);
        }
        if (now != row) {
            ScrollToCell(LCell{0, i32(now)});
            if (auto* moved = static_cast<CKvsScnCell*>(GetCellFrame(LCell{0, i32(now)}, false)))
                moved->fTime.RequestFocus();
        }
        return LMessage();
    }
    if (msg.Is(CStateButton_Push) && msg.source == &c->fPlay) {
        PlayFrom(scene->GetI32(ScenF::sntm), row);
        SelectCell(LCell{0, i32(row)});
        RequestFocus();
        return LMessage();
    }
    if ((msg.Is(CThresholdMeter_Threshold) || msg.Is(CThresholdMeter_Point)) &&
        msg.source == &c->fMeter) {
        // The meter's values count from 0.
        if (c->fMeter.Point() >= 0) {
            PlayFrom(i64(scene->GetI32(ScenF::sntm)) + c->fMeter.Point(), row);
            RequestFocus();
        }
        return LMessage();
    }
    if (msg.Is(LPane_Focus)) SelectCell(LCell{0, i32(row)});
    return LTypedCellList::HandleMessage(msg);
}

LMessage CKvsScnList::HandleMessage(const LMessage& msg) {
    if (HandleDrag(msg) != 0) return LMessage();
    LCell cell;
    LListCell* frame = FindCellFrame(msg.source, &cell);
    if (frame && frame != msg.source) {
        if (!fSeq || cell.row < 0 || u32(cell.row) >= Count())
            return LTypedCellList::HandleMessage(msg);
        return HandleCellMessage(msg, static_cast<CKvsScnCell*>(frame), u32(cell.row));
    }
    if (msg.Is(LMenuBar_Ready)) {
        auto* bar = static_cast<LMenuBar*>(msg.source);
        LListEdit::EnableStdCmds(bar, Selection(), kScrapScene);
        if (!Selection().IsEmpty() && fSeq && PlayHooks().moveSceneTimes)
            bar->EnableCommand(cScnMoveTime);
        return LTypedCellList::HandleMessage(msg);
    }
    if (msg.Is(LMenuItem_Selected) && fSeq) {
        auto* item = static_cast<LMenuItem*>(msg.source);
        if (item->HasCommand(cScnMoveTime)) {
            if (PlayHooks().moveSceneTimes)
                PlayHooks().moveSceneTimes(this, this, fSeq, ListField(), Selection());
            return LMessage();
        }
        if (item->HasCommand(LStdCmd_Paste)) {
            LClipboard* clip = LClipboard::Instance();
            if (clip && clip->HasType(LString(kScrapScene))) {
                Paste();
                return LMessage();
            }
            return LTypedCellList::HandleMessage(msg);
        }
        if (LListEdit::DoStdCmd(this, fSeq, ListField(), Selection(), true, kScrapScene, item,
                                nullptr) != 0)
            return LMessage();
    }
    return LTypedCellList::HandleMessage(msg);
}

void CKvsScnList::Listener(void* self, CRecordNote* note) {
    static_cast<CKvsScnList*>(self)->OnChange(note);
}

void CKvsScnList::OnChange(CRecordNote* note) {
    CRecord* r = note->record;
    if (!r) return;
    if (r == State()) {
        if (note->kind == CRecordNote::kChanged &&
            (note->field == DvssF::crsn || note->field == DvssF::sqid ||
             note->field == DvssF::sqtm || note->field == DvssF::cras))
            UpdatePlayState();
        return;
    }
    if (!fSeq) return;
    if (r == fSeq && note->field == ListField()) {
        // A retimed scene moves: its rows show other scenes now, so the rows
        // themselves stay.
        if (note->kind != CRecordNote::kMoved && !LListEdit::FollowRows(this, *note)) return;
        RefreshAll();
        return;
    }
    if (note->kind != CRecordNote::kChanged) return;
    for (CRecord* p = r; p; p = p->Parent()) {
        if (p->Parent() == fSeq && p->ParentField() == ListField()) {
            RefreshCell(LCell{0, i32(p->Position())});
            // Times change the lengths of the scene above too.
            if (p->Position() > 0) RefreshCell(LCell{0, i32(p->Position()) - 1});
            return;
        }
    }
}
