#include "devices/files/CKvsFileList.h"

#include <string>

#include "base/LScrap.h"
#include "base/Paths.h"
#include "devices/files/DeviceFileOps.h"
#include "devlink/DevObjLink.h"
#include "framework/CFilePanel.h"
#include "framework/InputState.h"
#include "framework/LMenu.h"
#include "framework/MousePoint.h"
#include "framework/StdDialogs.h"
#include "services/GraphicsServices.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/ScrapTypeNames.h"

namespace {
constexpr const char* kTexts = "KVSFILELIST";
}

// ---- CKvsFileCell

CKvsFileCell::CKvsFileCell(LPane* list) : LListCell(list), fName(this) {
    fName.SetStyle(LFont(2));
    SetLayoutByName("KVSFILECELL", 0);
}

// ---- CKvsFileList

CKvsFileList::CKvsFileList(LPane* navigator, MDevObjLink* link)
    : LCellListPane(navigator, LSelTracker::kMultiple, true, false),
      fLink(link),
      fClick(this, 0),
      fClickStamp(GraphicsServices().NowMs()) {
    InsertColumns(0, 1);
}

CKvsFileList::~CKvsFileList() {
    if (fDoc) fDoc->RemoveListener(this, RecordChanged);
}

u8 CKvsFileList::ListField() const {
    return fKind == 0 ? u8(DctsF::recordings) : fKind == 1 ? u8(DctsF::audio) : u8(0xFF);
}

void CKvsFileList::SetSource(CRecord* record, u32 kind) {
    if (fDoc) fDoc->RemoveListener(this, RecordChanged);
    fDoc = nullptr;
    if (Rows() > 0) RemoveRows(0, Rows());
    fSource = record;
    fKind = kind;
    if (record) fDoc = record->GetOwner();
    if (fDoc) fDoc->AddListener(this, RecordChanged);
    const u32 n = Count();
    if (n > 0) InsertRows(0, i32(n));
}

u32 CKvsFileList::Count() const {
    return fSource && fKind <= 1 ? NodeListCount(fSource, fKind) : 0;
}

void CKvsFileList::RecordChanged(void* self, CRecordNote* note) {
    auto* list = static_cast<CKvsFileList*>(self);
    if (!list->fSource || note->record != list->fSource || note->field != list->ListField()) return;
    switch (note->kind) {
        case CRecordNote::kChanged:
            if (list->Rows() > 0) list->RemoveRows(0, list->Rows());
            if (list->Count() > 0) list->InsertRows(0, i32(list->Count()));
            break;
        case CRecordNote::kInserted:
            list->InsertRows(i32(note->extra), 1);
            break;
        case CRecordNote::kRemoved:
            list->RemoveRows(i32(note->extra), 1);
            break;
        default:
            break;
    }
}

LString CKvsFileList::ItemName(i32 index) const {
    LString name;
    if (!fSource || index < 0 || u32(index) >= Count()) return name;
    return NodeListText(&name, fSource, fKind, u32(index));
}

u64 CKvsFileList::ItemSize(i32 index) const {
    if (!fSource || index < 0 || u32(index) >= Count()) return 0;
    return NodeListItemNumber(fSource, fKind, u32(index));
}

u64 CKvsFileList::SizeOfName(const LString& name) const {
    for (u32 i = 0, n = Count(); i < n; ++i)
        if (StrEqual(ItemName(i32(i)).CStr(), name.CStr())) return ItemSize(i32(i));
    return 0;
}

std::vector<LString> CKvsFileList::SelectedNames(bool reverse) const {
    std::vector<LString> names;
    LSelIter it;
    it.Init(Selection(), false, reverse);
    while (it.Next()) {
        const LString n = ItemName(it.Cell().row);
        if (!n.IsEmpty()) names.push_back(n);
    }
    return names;
}

bool CKvsFileList::IsSelectedPath(const char* path) const {
    const char* folder = DeviceFolderOfKind(fKind);
    if (!folder || !path) return false;
    LString leaf;
    LastPathComponent(&leaf, path);
    for (const LString& n : SelectedNames(false)) {
        if (!StrEqual(n.CStr(), leaf.CStr())) continue;
        LTextStream joined;
        CombinePath(folder, n.CStr(), joined);
        if (StrEqual(joined.CStr(), path)) return true;
    }
    return false;
}

LScrapData* CKvsFileList::MakeDragData() const {
    // Only one file at a time: the targets (a scene's clip, a play button) each take
    // one recording.
    const std::vector<LString> names = SelectedNames(false);
    LCell first = GetSelCell();
    if (names.size() != 1 || first.row < 0 || u32(first.row) >= Count()) return nullptr;
    auto* data = new LScrapData;
    if (!data->AddItem(LScrapType{LString(kScrapDrcFileName), 0}, names[0].CStr(),
                       names[0].Length(), 0)) {
        data->Release();
        return nullptr;
    }
    return data;
}

void CKvsFileList::BoundsChanged(const LRect& old) {
    LCellListPane::BoundsChanged(old);
    if (old.Width() != fBounds.Width()) SetCellSize(fBounds.Width(), CellHeight());
}

LListCell* CKvsFileList::CreateCell() {
    return new CKvsFileCell(this);
}

bool CKvsFileList::BindCell(LListCell* frame, LCell cell) {
    if (cell.row < 0 || u32(cell.row) >= Count()) return false;
    LString base;
    ReplaceExtension(&base, ItemName(cell.row).CStr(), "");
    static_cast<CKvsFileCell*>(frame)->fName.SetText(base);
    return true;
}

void CKvsFileList::WillDelete(void* self) {
    auto* list = static_cast<CKvsFileList*>(self);
    list->Send(CKvsFileList_WillDelete, list, list->fParent);
}

void CKvsFileList::RunCommand(const char* command) {
    LHandler* owner = fLink ? fLink->DialogOwner() : nullptr;
    if (!owner) owner = this;
    CReqQueue* queue = fLink ? fLink->DeviceQueue() : nullptr;
    if (StrEqual(command, LStdCmd_Delete)) {
        // Declined, the device hears nothing: not even that its loaded file goes.
        if (DeleteDeviceFiles(owner, queue, this, fKind, &CKvsFileList::WillDelete, this))
            Send(CKvsFileList_FlChanged, this, fParent);
    } else if (StrEqual(command, kCmdDownload)) {
        CRecordDoc* prefsDoc = AppPrefsDoc();
        CRecord* prefs = prefsDoc ? prefsDoc->Root() : nullptr;
        CFolderPanel panel;
        panel.SetMessage(StdDialogText(kTexts, 0));
        if (prefs) panel.SetStartPath(prefs->GetString(PrefF::dldr));
        if (!panel.Run()) return;
        LString folder;
        panel.GetChosenPath(&folder);
        if (folder.IsEmpty()) return;
        if (prefs) prefs->SetString(nullptr, PrefF::dldr, folder);
        DownloadSelectedFiles(owner, queue, this, fKind, folder);
    } else if (StrEqual(command, kCmdRename)) {
        const std::vector<LString> names = SelectedNames(false);
        if (names.empty()) return;
        RenameDeviceFile(owner, queue, fSource, names[0], fKind);
        Send(CKvsFileList_FlChanged, this, fParent);
    }
}

void CKvsFileList::NoteClick(LMouse* mouse, LCell pressed) {
    if (mouse->IsDoubleClick(&fClickStamp)) {
        fClickPending = 0;
        Send(CKvsFileList_DblClk, this, fParent);
        return;
    }
    // Shift and Ctrl clicks make a selection; they choose no file.
    const bool choosing = !mouse->IsShiftDown() && !mouse->IsCommandDown();
    fClickPending = choosing && pressed.row >= 0 && u32(pressed.row) < Count();
}

LMessage CKvsFileList::HandleMessage(const LMessage& msg) {
    LMouse* mouse = LMouse::Instance();
    const bool fromMouse = mouse && msg.source == mouse;
    const bool dragEnds = msg.Is(CDragger_End);
    const u32 code = fClick.HandleMouse(msg);
    if (code == CClickDragHelper::kImageReady) {
        // A drag, not a click.
        fClickPending = 0;
        if (LScrapData* data = MakeDragData()) fClick.SetDragData(data, 1);
    } else if (code == CClickDragHelper::kHandled) {
        // A press on a row already selected keeps the selection for a drag; it
        // is a click all the same (the second one of a double click, say).
        if (fromMouse && msg.Is(LMouse_Click)) NoteClick(mouse, PointToCell(MousePointIn(this)));
        // Released before a drag began (the helper took the release, or the
        // drag object ended without a drag): the pressed row alone is
        // selected now, and chosen.
        const bool released = dragEnds || (fromMouse && msg.Is(LMouse_Release));
        if (released && fClickPending) {
            fClickPending = 0;
            Send(CKvsFileList_SglClk, this, fParent);
        }
        return LMessage();
    }
    if (msg.Is(LMenuBar_Ready) && msg.source) {
        auto* bar = static_cast<LMenuBar*>(msg.source);
        const std::vector<LString> names = SelectedNames(false);
        if (!names.empty()) {
            bar->EnableCommand(LStdCmd_Delete);
            bar->EnableCommand(kCmdDownload);
            if (names.size() == 1) bar->EnableCommand(kCmdRename);
        }
        return LCellListPane::HandleMessage(msg);
    }
    if (msg.Is(LMenuItem_Selected) && msg.source) {
        auto* item = static_cast<LMenuItem*>(msg.source);
        for (const char* c : {LStdCmd_Delete, kCmdDownload, kCmdRename}) {
            if (item->HasCommand(c)) {
                RunCommand(c);
                return LMessage();
            }
        }
        return LCellListPane::HandleMessage(msg);
    }
    if (fromMouse && msg.Is(LMouse_Click)) {
        const LMessage next = LCellListPane::HandleMessage(msg);
        NoteClick(mouse, LastClicked());
        return next;
    }
    if (fromMouse && msg.Is(LMouse_Release) && fClickPending) {
        fClickPending = 0;
        const LMessage next = LCellListPane::HandleMessage(msg);
        Send(CKvsFileList_SglClk, this, fParent);
        return next;
    }
    return LCellListPane::HandleMessage(msg);
}
