#include "editors/CKvsSeqList.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "base/LTextSink.h"
#include "editors/DeviceHooks.h"
#include "editors/EditorKit.h"
#include "editors/LListEdit.h"
#include "framework/CHeaderFrame.h"
#include "framework/LDrawObj.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/OneShotFields.h"
#include "records/RecScrap.h"
#include "records/ScrapTypeNames.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"
#include "records/Triggers.h"

namespace {

constexpr const char* kStrings = "KVSSEQLIST";

}  // namespace

// ---------------------------------------------------------------- cell

CKvsSeqCell::CKvsSeqCell(LPane* list)
    : LListCell(list), fMark(this), fTrigger(this, Style2()), fName(this) {
    fMark.SetText(LString("\xE2\x96\xB6"));
    LPenRef green;
    MakePenByColor(&green, kPlayGreen, 0);
    fMark.SetColor(green);
    SetLayoutByName("KVSSEQCELL", 1);
}

// ---------------------------------------------------------------- list

CKvsSeqList::CKvsSeqList(LPane* owner, MPlayDevice* device, CRecord* seqSettings,
                         CHeaderFrameV* header)
    : CKvsSeqList(owner, device, seqSettings, header, true) {}

CKvsSeqList::CKvsSeqList(LPane* owner, MPlayDevice* device, CRecord* seqSettings,
                         CHeaderFrameV* header, bool build)
    : LTypedCellList(owner), fDevice(device), fSettings(seqSettings), fHeader(header) {
    SetModifierClicksSelectRows(true);
    if (build) Build();
}

void CKvsSeqList::Build() {
    OpenList(Count());
    if (fHeader) {
        LDrawCtx ctx;
        for (u32 i = 0; i < 2; ++i) fHeader->AddItem(StdDialogText(kStrings, i), Style2(), &ctx);
    }
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->AddListener(this, Listener);
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->AddListener(this, Listener);
}

CKvsSeqList::~CKvsSeqList() {
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->RemoveListener(this, Listener);
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->RemoveListener(this, Listener);
}

CRecord* CKvsSeqList::ItemsRecord() const {
    return fSettings;
}
u8 CKvsSeqList::ItemsField() const {
    return SqstF::sqcs;
}
u8 CKvsSeqList::NameField() const {
    return SqncF::sqnm;
}
const char* CKvsSeqList::ScrapType() const {
    return kScrapSequence;
}
void CKvsSeqList::InsertItem(u32 position, CRecord* item, bool) {
    // A sequence's own id and name are free again after a move took it out,
    // so it keeps them; a copy gets new ones.
    InsertSequenceUnique(fSettings, this, position, item);
}
void CKvsSeqList::RemoveItem(u32 position) {
    fSettings->RemoveItem(this, SqstF::sqcs, position);
}
bool CKvsSeqList::IsItemRecord(const CRecord* r) const {
    return r->Family() == FourCC("YKVT") && r->Kind() == FourCC("SQNC");
}

u32 CKvsSeqList::Count() const {
    CRecord* r = ItemsRecord();
    return r ? r->GetListCount(ItemsField()) : 0;
}

LListCell* CKvsSeqList::CreateCell() {
    return new CKvsSeqCell(this);
}

u32 CKvsSeqList::CellQuery(LCell* size) {
    // Cells as wide as the list and as high as the layout made the prototype
    // (its preferred height is unknown before the first drawing environment).
    auto* proto = static_cast<CKvsSeqCell*>(GetProtoCell());
    size->col = fBounds.Width();
    size->row = proto ? ProtoRowHeight({&proto->fTrigger, &proto->fName}) : 1;
    return kSizeAsQueried;
}

bool CKvsSeqList::BindCell(LListCell* frame, LCell cell) {
    if (cell.row < 0 || u32(cell.row) >= Count()) return false;
    auto* c = static_cast<CKvsSeqCell*>(frame);
    const CRecord* item = ItemsRecord()->GetListItem(ItemsField(), u32(cell.row));
    const CRecord* state = fDevice ? DocRoot(fDevice->StateDoc()) : nullptr;
    const bool playing = state && item->GetU32(0) == state->GetU32(DvssF::sqid);
    c->fMark.SetState(playing ? kOpShow : kOpHide);
    c->fName.SetText(item->GetString(NameField()));
    LString label;
    if (fSettings) TriggerInputLabel(&label, fSettings->GetChild(SqstF::sntg), u32(cell.row));
    c->fTrigger.SetTitle(label);
    return true;
}

void CKvsSeqList::CellSizeChanged() {
    LTypedCellList::CellSizeChanged();
    AlignHeader();
}

void CKvsSeqList::AlignHeader() {
    auto* proto = static_cast<CKvsSeqCell*>(GetProtoCell());
    if (!fHeader || !proto) return;
    LDrawCtx ctx;
    const i32 dx = fBounds.left - fHeader->Bounds().left;
    fHeader->PlaceItemAtX(0, dx + proto->fTrigger.Bounds().left, 0, &ctx);
    fHeader->PlaceItemAtX(1, dx + proto->fName.Bounds().left, 0, &ctx);
}

void CKvsSeqList::PushTrigger(u32 row) {
    CRecord* item = ItemsRecord()->GetListItem(ItemsField(), row);
    LTextStream path;
    CRecord* cmd = fDevice ? DocRoot(fDevice->CommandDoc()) : nullptr;
    if (cmd && LRecPath::Append(fSettings, item, kRecSelf, kRecNoIndex, path))
        SetField2Transient(cmd, path.ToString());
    SelectCell(LCell{0, i32(row)});
    // The trigger takes no focus: keys and menus go to the row now shown
    // selected, not to the pane that held the focus before.
    RequestFocus();
}

void CKvsSeqList::Paste() {
    LClipboard* clip = LClipboard::Instance();
    if (!clip || !ItemsRecord() || !clip->HasType(LString(ScrapType()))) return;
    const LRgn& sel = Selection();
    u32 at = sel.IsEmpty() ? Count() : u32(std::max(sel.GetBounds().top, 0));
    at = std::min(at, Count());
    const u32 first = at;
    CClipboardSource* source = CClipboardSource::New();
    {
        CRecScrapReader reader(source, ScrapTypeOf(ScrapType()));
        auto group = UndoGroup(this);
        while (CRecord* r = reader.ReadRecord()) InsertItem(at++, r, true);
    }
    source->Release();
    if (at > first) SetSelection(LRgn(LRect(0, i32(first), 1, i32(at))));
}

i32 CKvsSeqList::HandleDrag(const LMessage& msg) {
    const u32 code = fHelper.HandleMouse(msg);
    switch (code) {
        case CListDragDropHelper::kNotMine:
            return 0;
        case CListDragDropHelper::kSupplyData: {
            const LRgn& sel = Selection();
            const LRect b = sel.GetBounds();
            fHelper.SetDragData(
                LListEdit::CopySelection(ItemsRecord(), ItemsField(), sel, true, ScrapType()),
                b.Height() != 1);
            // The dragger's message must come back to it unconsumed to run the drag.
            return 0;
        }
        case CListDragDropHelper::kDragEntered:
            if (DragHasType(fHelper.Drag(), ScrapTypeOf(ScrapType())))
                fHelper.BeginDragOver(fHelper.ResultOperation());
            return -1;
        case CListDragDropHelper::kPerformDrop: {
            LDrop* drag = fHelper.Drag();
            if (!ItemsRecord() || !DragHasType(drag, ScrapTypeOf(ScrapType()))) return -1;
            CRecScrapReader reader(drag->Source(), ScrapTypeOf(ScrapType()));
            const bool move = fHelper.SourceCell().row >= 0 && fHelper.ResultOperation() == 2;
            u32 target = u32(std::max(fHelper.MarkCell().row, 0));
            auto group = UndoGroup(this);
            if (move) {
                // Last first, so that the indexes of the others hold; the
                // target closes up over the rows taken from above it.
                std::vector<u32> rows;
                LSelIter it;
                it.Init(Selection(), true, true);
                while (it.Next())
                    if (it.Cell().row >= 0 && u32(it.Cell().row) < Count())
                        rows.push_back(u32(it.Cell().row));
                std::sort(rows.rbegin(), rows.rend());
                rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
                for (u32 r : rows) {
                    RemoveItem(r);
                    if (r < target) --target;
                }
            }
            target = std::min(target, Count());
            while (CRecord* r = reader.ReadRecord()) InsertItem(target++, r, !move);
            fHelper.SetOperation(move ? 2 : 3);
            return -1;
        }
        default:
            return -1;
    }
}

LMessage CKvsSeqList::HandleMessage(const LMessage& msg) {
    if (HandleDrag(msg) != 0) return LMessage();
    LCell cell;
    LListCell* frame = FindCellFrame(msg.source, &cell);
    if (!frame || frame == msg.source) {
        if (msg.Is(LMenuBar_Ready)) {
            LListEdit::EnableStdCmds(static_cast<LMenuBar*>(msg.source), Selection(), ScrapType());
            return LTypedCellList::HandleMessage(msg);
        }
        if (msg.Is(LMenuItem_Selected)) {
            auto* item = static_cast<LMenuItem*>(msg.source);
            if (item->HasCommand(LStdCmd_Paste)) {
                LClipboard* clip = LClipboard::Instance();
                if (clip && clip->HasType(LString(ScrapType()))) {
                    Paste();
                    return LMessage();
                }
                return LTypedCellList::HandleMessage(msg);
            }
            if (LListEdit::DoStdCmd(this, ItemsRecord(), ItemsField(), Selection(), true,
                                    ScrapType(), item, nullptr) != 0)
                return LMessage();
        }
        return LTypedCellList::HandleMessage(msg);
    }
    if (cell.row < 0 || u32(cell.row) >= Count()) return LTypedCellList::HandleMessage(msg);
    auto* c = static_cast<CKvsSeqCell*>(frame);
    const u32 row = u32(cell.row);
    if (msg.Is(CStateButton_Push) && msg.source == &c->fTrigger) {
        PushTrigger(row);
        return LMessage();
    }
    if (msg.Is(LEditText_Change) && msg.source == &c->fName) {
        ItemsRecord()
            ->GetListItem(ItemsField(), row)
            ->SetString(this, NameField(), c->fName.GetText());
        return LMessage();
    }
    if (msg.Is(LPane_Focus)) SelectCell(LCell{0, i32(row)});
    return LTypedCellList::HandleMessage(msg);
}

void CKvsSeqList::Listener(void* self, CRecordNote* note) {
    static_cast<CKvsSeqList*>(self)->OnChange(note);
}

void CKvsSeqList::OnChange(CRecordNote* note) {
    CRecord* r = note->record;
    if (!r) return;
    CRecord* items = ItemsRecord();
    if (r == items && note->field == ItemsField()) {
        LListEdit::FollowRows(this, *note);
        return;
    }
    if (note->kind != CRecordNote::kChanged) return;
    CRecord* state = fDevice ? DocRoot(fDevice->StateDoc()) : nullptr;
    if (r == state) {
        if (note->field == DvssF::sqid) RefreshAll();
        return;
    }
    if (!fSettings) return;
    if (CRecord* sntg = fSettings->GetChild(SqstF::sntg);
        sntg && (r == sntg || r->IsDescendantOf(sntg))) {
        RefreshAll();
        return;
    }
    if (!items) return;
    // The sequence the change lies in, if it is one of this list's.
    for (CRecord* p = r; p; p = p->Parent()) {
        if (p->Parent() == items && p->ParentField() == ItemsField() && IsItemRecord(p)) {
            RefreshCell(LCell{0, i32(p->Position())});
            return;
        }
    }
}

// ---------------------------------------------------------------- NSQ list

CKvsNSqSeqList::CKvsNSqSeqList(LPane* owner, MPlayDevice* device, CRecord* seqSettings,
                               CHeaderFrameV* header)
    : CKvsSeqList(owner, device, seqSettings, header, false) {
    Build();
}

CRecord* CKvsNSqSeqList::ItemsRecord() const {
    return fSettings ? fSettings->GetChild(SqstF::nsqs) : nullptr;
}
u8 CKvsNSqSeqList::ItemsField() const {
    return SsetF::seqs;
}
u8 CKvsNSqSeqList::NameField() const {
    return SseqF::name;
}
const char* CKvsNSqSeqList::ScrapType() const {
    return kScrapNsqSeq;
}
void CKvsNSqSeqList::InsertItem(u32 position, CRecord* item, bool copy) {
    NSqSetInsertSeq(ItemsRecord(), this, position, item, copy);
}
void CKvsNSqSeqList::RemoveItem(u32 position) {
    NSqSetRemoveSeq(ItemsRecord(), this, position);
}
bool CKvsNSqSeqList::IsItemRecord(const CRecord* r) const {
    return r->Family() == FourCC("YNST") && r->Kind() == FourCC("SSEQ");
}
