#pragma once
// The triggers of one aux play, one row each: the mark of the trigger the
// device fired last, a test button that fires it, its name, the sequence it
// plays, its kind and the controls of that kind.

#include <memory>

#include "editors/AuxTriggerKinds.h"
#include "editors/CKvsSeqSlot.h"
#include "framework/CNumVol.h"
#include "framework/LEditText.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"
#include "framework/LTypedCellList.h"

class CHeaderFrameV;
class CRecord;
class MPlayDevice;
struct CRecordNote;

// Holds at most one letter or digit: the last one typed.
class CKeyCaptureEdit : public LAsciiEdit {
public:
    explicit CKeyCaptureEdit(LPane* parent) : LAsciiEdit(parent) {}
    bool AcceptChar(const u8* byte) override;
    void NotifyChange() override;
};

// The controls of one kind: labels and fields side by side.
class CTrgSubFrame : public LFrame {
public:
    CTrgSubFrame(LHandler* parent, LPane* container) : LFrame(parent, container) {}
    ~CTrgSubFrame() override;
    LTextPane& AddLabel(u32 textItem);
    template <class T>
    T& AddField(T* field) {
        fPanes.emplace_back(field);
        fFields.push_back(field);
        return *field;
    }
    CNumVol& Num(u32 i) { return *static_cast<CNumVol*>(fFields[i]); }
    LTextPane& Label(u32 i) { return *fLabels[i]; }

    std::vector<std::unique_ptr<LPane>> fPanes;
    std::vector<LTextPane*> fLabels;
    std::vector<LEditText*> fFields;
};

class CAxPlyTrgCell : public LListCell {
public:
    CAxPlyTrgCell(LPane* list, MPlayDevice* device, CRecord* seqSettings);
    void PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;

    void ShowKind(TrgFrame frame);
    CTrgSubFrame& Frame(TrgFrame f) { return *fFrames[i32(f)]; }
    // Which sub-frame the pane lies in, and its field index there.
    bool FieldOf(const LHandler* pane, TrgFrame* frame, u32* index);

    LTextPane fMark;
    CStateButton fTest;
    LEditText fName;
    CKvsSeqSlotEx fSlot;
    LPopupList fKind;
    std::unique_ptr<CTrgSubFrame> fFrames[i32(TrgFrame::kCount)];
};

class CAxPlyTrgList : public LTypedCellList {
public:
    CAxPlyTrgList(LPane* owner, MPlayDevice* device, CRecord* seqSettings);
    ~CAxPlyTrgList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    u32 CellQuery(LCell* size) override;

    void SetAuxPlay(CRecord* auxPlay);
    CRecord* AuxPlay() const { return fAuxPlay; }
    void AddTrigger();
    u32 Count() const;
    // The bound aux play's index in `plys`; -1 without one.
    i32 AuxPlayIndex() const;
    // The header above the list: its titles widen the columns they stand over.
    void SetHeader(CHeaderFrameV* header) { fHeader = header; }
    CHeaderFrameV* Header() const { return fHeader; }

private:
    void BindFields(CAxPlyTrgCell* c, u32 row);
    LMessage CellMessage(CAxPlyTrgCell* c, u32 row, const LMessage& msg);
    void FieldFixed(CAxPlyTrgCell* c, CRecord* trigger, TrgFrame f, u32 i);
    void OnChange(CRecordNote* note);
    static void Listener(void* self, CRecordNote* note);

    MPlayDevice* fDevice;
    CRecord* fSettings;
    CRecord* fAuxPlay = nullptr;
    CHeaderFrameV* fHeader = nullptr;
    bool fBinding = false;
};
