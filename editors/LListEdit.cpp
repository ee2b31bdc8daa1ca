#include "editors/LListEdit.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "base/LHandle.h"
#include "framework/CListDragDropHelper.h"
#include "framework/LCellListPane.h"
#include "framework/LListPane.h"
#include "framework/LMenu.h"
#include "framework/MoveSelectedItems.h"
#include "records/CRecord.h"
#include "records/CUndoStrm.h"
#include "records/RecScrap.h"

namespace {

LScrapType TypeOf(const char* name) {
    return LScrapType{LString(name), 0};
}

// One undo step for everything done while it lives; none without a queue.
using UndoGroup = std::unique_ptr<CUndoStrm>;
CUndoStrm* OpenGroup(LHandler* handler, const char* title) {
    return handler ? CUndoStrm::Open(handler, nullptr, nullptr, title ? title : "", 0,
                                     CUndoStrm::kMergeNew)
                   : nullptr;
}

// The item indexes the selection names that exist, in walking order.
std::vector<u32> SelectedItems(const LRgn& selection, bool columnMajor, u32 count, bool reverse) {
    std::vector<u32> items;
    LSelIter it;
    it.Init(selection, columnMajor, reverse);
    while (it.Next()) {
        const i32 i = columnMajor ? it.Cell().row : it.Cell().col;
        if (i < 0 || u32(i) >= count) continue;
        // A selection wider than the list's one column names a row once per column.
        if (std::find(items.begin(), items.end(), u32(i)) == items.end()) items.push_back(u32(i));
    }
    return items;
}

bool DragOffers(const CListDragDropHelper& helper, const char* type) {
    return DragHasType(helper.Drag(), TypeOf(type));
}

}  // namespace

// ---------------------------------------------------------------- clipboard source

bool CClipboardSource::FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) {
    LClipboard* clip = LClipboard::Instance();
    if (!clip || index != 0) return false;
    LDataBuf buf;
    if (!clip->GetReader().GetData(type, buf)) return false;
    out->assign(buf.Data(), buf.Data() + buf.Capacity());
    return true;
}

bool CClipboardSource::HasType(const LScrapType& type) {
    LClipboard* clip = LClipboard::Instance();
    return clip && clip->HasType(type.name);
}

// ---------------------------------------------------------------- routines

void LListEdit::EnableStdCmds(LMenuBar* bar, const LRgn& selection, const char* type) {
    if (!bar) return;
    if (!selection.IsEmpty()) {
        bar->EnableCommand(LStdCmd_Cut);
        bar->EnableCommand(LStdCmd_Copy);
        bar->EnableCommand(LStdCmd_Delete);
    }
    LClipboard* clip = LClipboard::Instance();
    if (clip && clip->HasType(LString(type))) bar->EnableCommand(LStdCmd_Paste);
}

LScrapData* LListEdit::CopySelection(const CRecord* record, u8 field, const LRgn& selection,
                                     bool columnMajor, const char* type) {
    if (!record) return nullptr;
    const u32 count = record->GetListCount(field);
    CRecClipStream strm;
    for (u32 i : SelectedItems(selection, columnMajor, count, false))
        strm.Write(record->GetListItem(field, i));
    return strm.Detach(TypeOf(type));
}

void LListEdit::DeleteSelection(LHandler* handler, const char* title, CRecord* record, u8 field,
                                const LRgn& selection, bool columnMajor) {
    if (!record) return;
    std::vector<u32> items =
        SelectedItems(selection, columnMajor, record->GetListCount(field), true);
    // Highest first whatever the walk gave, so that every index stays valid.
    std::sort(items.rbegin(), items.rend());
    UndoGroup group(OpenGroup(handler, title));
    for (u32 i : items) record->RemoveItem(handler, field, i);
}

u32 LListEdit::PasteRecords(LHandler* handler, CRecord* record, u8 field, const char* type,
                            CDropSource* source, u32* index) {
    if (!record || !source || !index || !source->HasType(TypeOf(type))) return 0;
    CRecScrapReader reader(source, TypeOf(type));
    if (reader.Size() == 0) return 0;
    u32 pos = std::min(*index, record->GetListCount(field));
    *index = pos;
    const RecFieldDesc& desc = record->Desc(field);
    const bool typed = !desc.IsUntyped();
    UndoGroup group(OpenGroup(handler, ""));
    u32 inserted = 0;
    while (CRecord* r = reader.ReadRecord()) {
        if (typed && (r->Family() != desc.def.rec.family || r->Kind() != desc.def.rec.kind)) {
            CRecord::Destroy(r);
            continue;
        }
        if (!record->InsertItem(handler, field, pos, r)) {
            CRecord::Destroy(r);
            break;
        }
        ++pos;
        ++inserted;
    }
    return inserted;
}

bool LListEdit::RowCmd(LListPane* list, CRecord* record, u8 field, const char* type,
                       const LMessage& msg) {
    if (!msg.source || !record) return false;
    const LRgn& sel = list->Selection();
    if (msg.Is(LMenuBar_Ready)) {
        EnableStdCmds(static_cast<LMenuBar*>(msg.source), sel, type);
        return false;
    }
    if (!msg.Is(LMenuItem_Selected)) return false;
    i32 index =
        sel.IsEmpty() ? i32(record->GetListCount(field)) : std::max(sel.GetBounds().top, 0);
    const i32 r = DoStdCmd(list, record, field, sel, true, type,
                           static_cast<LMenuItem*>(msg.source), &index);
    if (r > 0) list->SetSelection(LRgn(LRect(0, index, 1, index + r)));
    return r != kNotHandled;
}

bool LListEdit::RowStep(LCellListPane* list, CRecord* record, u8 field, const char* type,
                        CListDragDropHelper& helper, const LMessage& msg, bool* passOn) {
    *passOn = false;
    i32 at = 0;
    const i32 step =
        DragStep(list, record, field, list->Selection(), true, type, helper, msg, &at, 0);
    // 0 is also "not handled": only a drop that inserted something ends here.
    if (step > 0) {
        list->SetSelection(LRgn(LRect(0, at, 1, at + step)));
        return true;
    }
    if (step == kConsumed) return true;
    if (step == kDataSupplied) {
        *passOn = true;
        return true;
    }
    LCell cell;
    if (list->FindCellFrame(msg.source, &cell)) return false;
    const bool taken = RowCmd(list, record, field, type, msg);
    if (msg.Is(LMenuBar_Ready) && msg.source) {
        *passOn = true;
        return true;
    }
    return taken;
}

i32 LListEdit::DoStdCmd(LHandler* handler, CRecord* record, u8 field, const LRgn& selection,
                        bool columnMajor, const char* type, LMenuItem* item, i32* index) {
    if (!item || !record) return kNotHandled;
    const bool cut = item->HasCommand(LStdCmd_Cut);
    if (cut || item->HasCommand(LStdCmd_Copy)) {
        if (selection.IsEmpty()) return kNotHandled;
        LScrapData* data = CopySelection(record, field, selection, columnMajor, type);
        LClipboard* clip = LClipboard::Instance();
        if (data && clip)
            clip->Put(data);
        else if (data)
            data->Release();
        if (cut) DeleteSelection(handler, "", record, field, selection, columnMajor);
        return kConsumed;
    }
    if (item->HasCommand(LStdCmd_Delete)) {
        if (selection.IsEmpty()) return kNotHandled;
        DeleteSelection(handler, "", record, field, selection, columnMajor);
        return kConsumed;
    }
    if (item->HasCommand(LStdCmd_Paste)) {
        LClipboard* clip = LClipboard::Instance();
        if (!index || !clip || !clip->HasType(LString(type))) return kNotHandled;
        u32 at = u32(std::max(*index, 0));
        CClipboardSource* source = CClipboardSource::New();
        const u32 n = PasteRecords(handler, record, field, type, source, &at);
        source->Release();
        *index = i32(at);
        return i32(n);
    }
    return kNotHandled;
}

i32 LListEdit::DragStep(LHandler* handler, CRecord* record, u8 field, const LRgn& selection,
                        bool columnMajor, const char* type, CListDragDropHelper& helper,
                        const LMessage& msg, i32* outIndex, u32 flags) {
    const u32 code = helper.HandleMouse(msg);
    const bool sameList = columnMajor ? helper.SourceCell().row >= 0 : helper.SourceCell().col >= 0;
    switch (code) {
        case CListDragDropHelper::kNotMine:
            return kNotHandled;
        case CListDragDropHelper::kSupplyData: {
            const LRect b = selection.GetBounds();
            const bool single = b.Width() == 1 && b.Height() == 1;
            helper.SetDragData(CopySelection(record, field, selection, columnMajor, type), !single);
            return kDataSupplied;
        }
        case CListDragDropHelper::kDragEntered:
            if (!outIndex || !DragOffers(helper, type)) return kNotHandled;
            if ((flags & kSameListOnly) && !sameList) return kNotHandled;
            helper.BeginDragOver((flags & kSameListOnly) ? 2 : helper.ResultOperation());
            return kConsumed;
        case CListDragDropHelper::kPerformDrop: {
            if (!outIndex || !record || !DragOffers(helper, type)) return kNotHandled;
            i32 target = columnMajor ? helper.MarkCell().row : helper.MarkCell().col;
            const bool move =
                (flags & kSameListOnly) || (sameList && helper.ResultOperation() == 2);
            if (move) {
                UndoGroup group(OpenGroup(handler, ""));
                const u32 n =
                    MoveSelectedItems(record, handler, field, columnMajor, selection, &target);
                helper.SetOperation(2);
                *outIndex = target;
                return i32(n);
            }
            LDrop* drag = helper.Drag();
            u32 at = u32(std::max(target, 0));
            const u32 n =
                PasteRecords(handler, record, field, type, drag ? drag->Source() : nullptr, &at);
            helper.SetOperation(3);
            *outIndex = i32(at);
            return i32(n);
        }
        default:
            return kConsumed;
    }
}

bool LListEdit::FollowRows(LListPane* list, const CRecordNote& note) {
    switch (note.kind) {
        case CRecordNote::kInserted:
            list->InsertRows(i32(note.extra), 1);
            return true;
        case CRecordNote::kRemoved:
            list->RemoveRows(i32(note.extra), 1);
            return true;
        case CRecordNote::kMoved:
            list->RemoveRows(i32(note.extra), 1);
            list->InsertRows(i32(note.index), 1);
            return true;
        default:
            return false;
    }
}
