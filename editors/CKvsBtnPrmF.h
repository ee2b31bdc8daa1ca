#pragma once
// The parameters of the selected play button: its title, its sequence and how
// it synchronises. An edit without a cell asks the parent for one first.

#include "editors/CKvsSeqSlot.h"
#include "framework/CNumVol.h"
#include "framework/LEditText.h"
#include "framework/LFrame.h"
#include "framework/LTextPane.h"

class CRecordDoc;
class MPlayDevice;
struct CRecordNote;

// Frame to parent: an edit needs a cell; the parent hands it over with SetCell.
inline constexpr const char* CKvsBtnPrmF_Prep = "CKvsBtnPrmF_Prep";

class CKvsBtnPrmF : public LFrame {
public:
    CKvsBtnPrmF(LHandler* parent, LPane* container, MPlayDevice* device, CRecord* seqSettings);
    ~CKvsBtnPrmF() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void SetCell(CRecord* cell);
    CRecord* Cell() const { return fCell; }
    // The cell takes the sequence, and its name when it has no title (one undo step).
    void ChooseSequence(u32 sqid);
    void Refresh();

    LTextPane fTitleLabel;
    LEditText fTitle;
    LTextPane fSeqLabel;
    CKvsSeqSlotEx fSlot;
    LFrame fSync;
    LTextPane fSyncLabel;
    LPopupList fMode;
    LTextPane fOffsetLabel;
    CTimeSlider fOffset;

private:
    bool Prepare();
    void OnChange(CRecordNote* note);
    static void Listener(void* self, CRecordNote* note);
    void Listen(bool on);

    CRecord* fCell = nullptr;
    // The document listened to for the cell: a cell shifted out of its grid
    // has no document left to stop listening on.
    CRecordDoc* fCellDoc = nullptr;
    // Set while the first key typed makes the cell: the field keeps its text.
    bool fKeepTitle = false;
    CRecord* fSettings;
};
