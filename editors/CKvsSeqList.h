#pragma once
// The sequences of a device's sequence settings as a one-column list: each row
// a play mark while the device plays it, a button labelled with the trigger
// input that starts it (pushed, it plays the sequence on the device) and its
// name, edited in place. Rows are cut, copied, pasted, deleted and dragged:
// onto sequence slots, or within and between the lists.
//
// CKvsSeqList shows `sqcs` of 'YKVT'/'SQST'; CKvsNSqSeqList the NSQ sequences
// (`seqs` of the 'YNST'/'SSET' in `nsqs`). Rows follow the records only
// through the change listener: the list never rebuilds itself.

#include "framework/LTypedCellList.h"
#include "framework/LEditText.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

class CHeaderFrameV;
class CRecord;
class MPlayDevice;
struct CRecordNote;

class CKvsSeqCell : public LListCell {
public:
    explicit CKvsSeqCell(LPane* list);

    LTextPane fMark;
    CStateButton fTrigger;
    LEditText fName;
};

class CKvsSeqList : public LTypedCellList {
public:
    // header may be null (a list without titles).
    CKvsSeqList(LPane* owner, MPlayDevice* device, CRecord* seqSettings, CHeaderFrameV* header);
    ~CKvsSeqList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    // Cells as wide as the list, then the header follows them.
    void CellSizeChanged() override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    u32 CellQuery(LCell* size) override;

    // ---- what differs between the two lists
    // The record holding the list and its list field.
    virtual CRecord* ItemsRecord() const;
    virtual u8 ItemsField() const;
    virtual u8 NameField() const;
    virtual const char* ScrapType() const;
    // Inserts a pasted or dropped record (taken) at the position; a copy gets a
    // free id and a unique name.
    virtual void InsertItem(u32 position, CRecord* item, bool copy);
    virtual void RemoveItem(u32 position);
    // Whether a change notice of this record refreshes a row.
    virtual bool IsItemRecord(const CRecord* record) const;

    // Places the header's titles over the prototype cell's button and name.
    void AlignHeader();

protected:
    // For the derived list, which calls Build once it answers for itself.
    CKvsSeqList(LPane* owner, MPlayDevice* device, CRecord* seqSettings, CHeaderFrameV* header,
                bool build);
    void Build();
    u32 Count() const;
    void PushTrigger(u32 row);
    void Paste();
    i32 HandleDrag(const LMessage& msg);
    void OnChange(CRecordNote* note);
    static void Listener(void* self, CRecordNote* note);

    MPlayDevice* fDevice;
    CRecord* fSettings;
    CHeaderFrameV* fHeader;
};

class CKvsNSqSeqList : public CKvsSeqList {
public:
    CKvsNSqSeqList(LPane* owner, MPlayDevice* device, CRecord* seqSettings, CHeaderFrameV* header);

    CRecord* ItemsRecord() const override;
    u8 ItemsField() const override;
    u8 NameField() const override;
    const char* ScrapType() const override;
    void InsertItem(u32 position, CRecord* item, bool copy) override;
    void RemoveItem(u32 position) override;
    bool IsItemRecord(const CRecord* record) const override;
};
