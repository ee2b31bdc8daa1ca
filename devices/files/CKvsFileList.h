#pragma once
// The files of one folder of a device's memory card, as its contents record
// lists them: one full-width row per entry, the name shown without its
// extension. The list deletes, renames and downloads the selected files
// (Shift and Ctrl clicks select several) and drags one file's name out.

#include <vector>

#include "framework/CClickDragHelper.h"
#include "framework/LCellListPane.h"
#include "framework/LTextPane.h"

class CRecord;
class CRecordDoc;
struct CRecordNote;
class LMouse;
class LScrapData;
class MDevObjLink;

inline constexpr const char* CKvsFileList_DblClk = "CKvsFileList_DblClk";
inline constexpr const char* CKvsFileList_SglClk = "CKvsFileList_SglClk";
inline constexpr const char* CKvsFileList_WillDelete = "CKvsFileList_WillDelete";
inline constexpr const char* CKvsFileList_FlChanged = "CKvsFileList_FlChanged";
inline constexpr const char* kCmdDownload = "cDownload";
inline constexpr const char* kCmdRename = "cRename";

class CKvsFileCell : public LListCell {
public:
    explicit CKvsFileCell(LPane* list);
    LTextPane fName;
};

class CKvsFileList : public LCellListPane {
public:
    CKvsFileList(LPane* navigator, MDevObjLink* link);
    ~CKvsFileList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void BoundsChanged(const LRect& old) override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;

    // record: 'YKVS'/'DCTS'; kind 0 recordings, 1 audio files.
    void SetSource(CRecord* record, u32 kind);
    CRecord* Source() const { return fSource; }
    u32 Kind() const { return fKind; }
    u32 Count() const;
    LString ItemName(i32 index) const;
    u64 ItemSize(i32 index) const;
    u64 SizeOfName(const LString& name) const;
    // The names of the selected rows, top to bottom or bottom to top.
    std::vector<LString> SelectedNames(bool reverse) const;
    bool IsSelectedPath(const char* path) const;
    // What a drag of the selection carries: the selected file's full name, or
    // null unless exactly one file is selected.
    LScrapData* MakeDragData() const;

private:
    static void RecordChanged(void* self, CRecordNote* note);
    static void WillDelete(void* self);
    // A click on the list: a double click, or a single click whose release
    // chooses the pressed file.
    void NoteClick(LMouse* mouse, LCell pressed);
    u8 ListField() const;
    void RunCommand(const char* command);

    MDevObjLink* fLink;
    CRecord* fSource = nullptr;
    CRecordDoc* fDoc = nullptr;
    u32 fKind = 0;
    CClickDragHelper fClick;
    u32 fClickStamp;
    u8 fClickPending = 0;
};
