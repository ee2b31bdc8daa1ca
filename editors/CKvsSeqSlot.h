#pragma once
// Sequence slots: the small field in which an editor shows the sequence a play
// button, schedule event, trigger or auto play refers to. A sequence dropped
// on it (from either sequence list) or recordings dropped on it (from the
// card's file list, wrapped into a sequence) choose the sequence; clearing its
// text chooses none. The slot never stores the reference itself: it tells its
// parent, which keeps it.

#include "framework/LDialog.h"
#include "framework/LDropPane.h"
#include "framework/LFrame.h"
#include "framework/LStdCtl.h"
#include "framework/LTextBox.h"
#include "framework/LTextPane.h"
#include "framework/LTimer.h"
#include "records/CRecord.h"

class MPlayDevice;

// Slot to parent: something was dropped on it (the drop pane's drag is
// readable while this travels).
inline constexpr const char* CKvsSeqSlot_Drop = "CKvsSeqSlot_Drop";
// Slot to parent: the user cleared or replaced the text.
inline constexpr const char* CKvsSeqSlot_Delete = "CKvsSeqSlot_Delete";
// Extended slot to parent: the chosen id changed (ChosenId()).
inline constexpr const char* CKvsSeqSlotEx_Seq = "CKvsSeqSlotEx_Seq";
// Wrap helper to slot: the deferred wrap of dropped file names is due.
inline constexpr const char* CKvsSeqWrapHlpr_Drop = "CKvsSeqWrapHlpr_Drop";

class CKvsSeqSlot : public LFrame {
public:
    CKvsSeqSlot(LHandler* parent, LPane* container);

    LMessage HandleMessage(const LMessage& msg) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;

    // The text for a sequence id: empty for 0, the NSQ sequence's name before a
    // sequence's ("" shows as one blank), "?" for an id that names neither.
    void SetSequence(const CRecord* seqSettings, u32 sqid);
    static LString SequenceText(const CRecord* seqSettings, u32 sqid);

    LDropPane& DropPane() { return fDrop; }
    CTextSlot& Text() { return fText; }

protected:
    // The text first: the drop pane made after it lies above it.
    CTextSlot fText;
    LDropPane fDrop;
};

// Turns dropped recording names into a sequence, one scene per file, after the
// drop has finished (a modal question must not run inside a drag).
class CKvsSeqWrapHlpr : public LHandler {
public:
    CKvsSeqWrapHlpr(LHandler* parent, MPlayDevice* device);

    // Takes a drag that carries file names and no sequence: keeps its names
    // (replacing those of an earlier drop not yet wrapped) and starts the
    // timer. False for any other drag.
    bool OfferDrop(CDropSource* source);
    LMessage HandleMessage(const LMessage& msg) override;
    // The sequence the files fill (chosen id, or a new one when 0 or gone):
    // named after the first file, its scenes (or audio scenes, when the first
    // file is one of the card's audio files) replaced by one per file.
    // Answers its id; 0 when nothing could be done.
    u32 Wrap(LHandler* ctx, CRecord* seqSettings, u32 chosen);
    // The first name without its extension.
    LString BaseName() const;

    const CStrArray& Names() const { return fNames; }
    LTimer& Timer() { return fTimer; }

private:
    MPlayDevice* fDevice;
    LTimer fTimer;
    CStrArray fNames;
};

class CKvsSeqSlotEx : public CKvsSeqSlot {
public:
    CKvsSeqSlotEx(LHandler* parent, LPane* container, MPlayDevice* device, CRecord* seqSettings);

    LMessage HandleMessage(const LMessage& msg) override;

    u32 ChosenId() const { return fChosen; }
    CKvsSeqWrapHlpr& WrapHelper() { return fHelper; }

    // Asks which sequence the wrap fills: 0 a new one, else the id of a
    // sequence of the base name; false when the user cancelled.
    bool ChooseSequence(u32* chosen);

private:
    void HandleDrop();
    void RunWrap();

    MPlayDevice* fDevice;
    CRecord* fSettings;
    CKvsSeqWrapHlpr fHelper;
    u32 fChosen = 0;
};

// "A sequence named ... exists": 1 make a new one, 2 cancel, 3 replace its scenes.
class CKvsSeqWrapDlg : public LDialog {
public:
    enum : u32 { kNew = 1, kCancel = 2, kReplace = 3 };
    CKvsSeqWrapDlg(LHandler* parent, const LString& name);

    LMessage HandleMessage(const LMessage& msg) override;
    u32 Ask();

    // The question as the slots ask it: modal, over the parent. Tests answer
    // in its place.
    using AskFn = u32 (*)(LHandler* parent, const LString& name);
    static AskFn sAsk;
    static u32 AskModal(LHandler* parent, const LString& name);

    LStdButton fNew;
    LStdButton fCancelBtn;
    LStdButton fReplace;
    LTextPane fMessage;
};
