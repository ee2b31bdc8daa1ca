#pragma once
// The sequence format dialog, the move-time dialog with the command that moves
// scenes in time, and the speed calculator, which tells by how many percent a
// recording must play faster or slower to last a given time longer or shorter.

#include "framework/CNumVol.h"
#include "framework/LDialog.h"
#include "framework/LTextPane.h"

class CRecord;
class LRgn;

class CKvsSeqFmtDlg : public LDialog {
public:
    explicit CKvsSeqFmtDlg(LHandler* parent);
    LMessage HandleMessage(const LMessage& msg) override;
    // The check box belongs to the second format only.
    void UpdateVisibility();

    LStdButton fOk;
    LStdButton fCancel;
    CRadioBtn fFirst;
    CRadioBtn fSecond;
    LStdCheck fCheck;
};

class CKvsMoveTimeDlg : public LDialog {
public:
    explicit CKvsMoveTimeDlg(LHandler* parent);

    LStdButton fOk;
    LStdButton fCancel;
    LTextPane fLabel;
    CTimeSlider fTime;
    CRadioBtn fLater;  // this and every later scene
    CRadioBtn fOnly;   // the selected scenes only
};

class CKvsSpdCalcDlg : public LModalFrame {
public:
    explicit CKvsSpdCalcDlg(LHandler* parent);
    ~CKvsSpdCalcDlg() override;
    LMessage HandleMessage(const LMessage& msg) override;
    void Recompute();

    LTextPane fLabel;
    CTimeSlider fDuration;
    CRadioBtn fLonger;
    CRadioBtn fShorter;
    CNumVol fDiff;
    LTextPane fLabel2;
    LTextPane fResult;
};

// The percentage a recording of `seconds` must be played at to last `diff`
// seconds longer (or shorter): " - " without a duration.
LString SpeedChangeText(i32 seconds, f64 diff, bool shorter);

// Moves the scenes of the list field of the sequence to start at `time`,
// keeping their distances: mode 0 this scene and every later one (scenes
// before it that would then come later are removed), mode 1 the selected
// ones only. Selection: rows of column 0, in and out (the moved scenes).
// False, changing nothing, when the times are equal or nothing is selected.
bool MoveSceneTimes(CRecord* seq, LHandler* ctx, u8 field, LRgn* selection, i32 time, u32 mode);

// The hooks of the play edit: the format dialog and the move-time command.
bool RunSeqFormatDialog(LHandler* parent, LPane* owner, bool* nsq, bool* dmct);
void RunMoveTimeCommand(LHandler* parent, LPane* owner, CRecord* seq, u8 field,
                        const LRgn& selection);
// The move-time dialog alone, for editors that move scenes themselves (the NSQ
// timeline): opens on *ms and the radio choice *follow (0: this and every
// later scene); true when confirmed, with both written back.
bool RunMoveTimeDialog(LHandler* parent, u32* ms, u32* follow);
