#pragma once
// The selected NSQ scene: its kind, its start time, and buttons that step to
// the neighbouring scenes of its track; and the loop flag of the sequence.

#include "framework/CColorBtn.h"
#include "framework/CNumVol.h"
#include "framework/LFrame.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"
#include "records/CRecordDoc.h"

class CNSqTimeScale;

// Sent up the handler chain after stepping to another scene.
inline constexpr const char* CNSqUScnF_BringScn = "CNSqUScnF_BringScn";

class CNSqUScnF : public LFrame {
public:
    CNSqUScnF(LPane* container, CNSqTimeScale* scale);
    ~CNSqUScnF() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void SetScene(CRecord* scene);
    CRecord* Scene() const { return fScene; }
    // Makes the scene step away (-1, +1) the only selected one.
    void Step(i32 step);

    LTextPane& Kind() { return fKind; }
    CTimeSlider& Time() { return fTime; }
    CColorBtn& Prev() { return fPrev; }
    CColorBtn& Next() { return fNext; }

private:
    void UpdateButtons();
    static void OnChange(void* self, CRecordNote* note);

    CNSqTimeScale* fScale;
    CRecord* fScene = nullptr;
    CRecord* fTrack = nullptr;
    CRecordDoc* fDoc = nullptr;
    LTextPane fKind;
    LTextPane fTimeLabel;
    CTimeSlider fTime;
    CColorBtn fPrev;
    CColorBtn fNext;
};

class CNSqUSqPrmF : public LFrame {
public:
    explicit CNSqUSqPrmF(LPane* container);
    ~CNSqUSqPrmF() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void SetSequence(CRecord* sequence);
    CRecord* Sequence() const { return fSeq; }
    LStdCheck& Loop() { return fLoop; }

private:
    static void OnChange(void* self, CRecordNote* note);

    CRecord* fSeq = nullptr;
    CRecordDoc* fDoc = nullptr;
    LStdCheck fLoop;
    LTextPane fText;
};
