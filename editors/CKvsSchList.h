#pragma once
// The events of a device's schedule, one row each: a mark on the event the
// device has in effect (or, in test mode, the one in effect at the test
// date-time), a button that plays the event at once, its name and the
// sequence it starts.

#include "base/Calendar.h"
#include "editors/CKvsSeqSlot.h"
#include "framework/LEditText.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"
#include "framework/LTypedCellList.h"

class CHeaderFrameV;
class CRecord;
class MPlayDevice;
struct CRecordNote;

class CKvsSchCell : public LListCell {
public:
    CKvsSchCell(LPane* list, MPlayDevice* device, CRecord* seqSettings);
    void PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;

    LTextPane fMark;
    CStateButton fPlay;
    LEditText fName;
    CKvsSeqSlotEx fSlot;
};

class CKvsSchList : public LTypedCellList {
public:
    CKvsSchList(LPane* owner, MPlayDevice* device, CRecord* seqSettings, CHeaderFrameV* header);
    ~CKvsSchList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    u32 CellQuery(LCell* size) override;
    // The event in effect follows the rows once an edit of many has settled.
    void RowsRefreshed() override;

    // Null leaves test mode.
    void SetTestTime(const CalDateTime* when);
    bool InTestMode() const { return fTestMode; }
    void UpdateCurrent();
    i32 Current() const { return i32(fCurrent); }

    // 'SCHD' of the sequence settings; null without one.
    CRecord* Schedule() const;
    u32 Count() const;
    i32 SelectedRow() const;
    // Places the header's titles over the prototype cell's button, name and slot.
    void AlignHeader(LDrawCtx* ctx);
    // How wide the slot column must be for its title to show whole: the
    // header ends short of the list, beside its add button.
    i32 SlotTitleWidth(LDrawCtx* ctx);

private:
    void Play(u32 row);
    void ChooseSequence(u32 row, u32 sqid);
    void OnChange(CRecordNote* note);
    static void Listener(void* self, CRecordNote* note);

    MPlayDevice* fDevice;
    CRecord* fSettings;
    CHeaderFrameV* fHeader;
    u32 fCurrent = u32(-1);
    bool fTestMode = false;
    CalDateTime fTestTime;
};
