#pragma once
// The frames that edit the parameters of the selected NSQ scene: one per
// scene kind (a sequence reference, an audio clip, a DMX clip), shown by
// CNSqUScnPrmF for the kind of the bound scene.

#include <map>

#include "editors/nsq/CKvsNPosInd.h"
#include "framework/CNumVol.h"
#include "framework/LFrame.h"
#include "framework/LMenu.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

// What the clip controls show and store (in double: 2.56 as a float would
// store 100 % as 255).
u32 NSqVolumeStored(double percent);
double NSqVolumeShown(u32 volm);
f32 NSqRateStored(double percentOffset);
double NSqRateShown(f32 rate);
u32 NSqFadeStored(double seconds);
// The text of a scene that plays another sequence: empty for none, "?" when
// it is gone, its name, or "(n)" for a nameless n-th sequence.
LString NSqSeqRefText(const CRecord* set, u32 sqid);

// A frame bound to one record and refreshed on its changes.
class CNSqModelPane : public LFrame {
public:
    CNSqModelPane(LPane* container, void* owner);
    ~CNSqModelPane() override;

    void SetModel(CRecord* record);
    CRecord* Model() const { return fModel; }
    void* OwnerValue() const { return fOwner; }
    // The bound record changed.
    virtual void ModelChanged() {}
    // Something else in the same document changed.
    virtual void OtherChanged(const CRecordNote&) {}

private:
    static void OnChange(void* self, CRecordNote* note);

    void* fOwner;
    CRecord* fModel = nullptr;
    CRecordDoc* fDoc = nullptr;
};

// A scene that plays another NSQ sequence.
class CNSqTSpecPup : public CNSqModelPane {
public:
    CNSqTSpecPup(LPane* container, CNSqDevCtx* ctx);

    LMessage HandleMessage(const LMessage& msg) override;
    void ModelChanged() override;
    void OtherChanged(const CRecordNote& note) override;
    // The popup's item index chosen (0 none, k >= 2 the sequence k - 2).
    void Choose(u32 item);

    LTextPane& Label() { return fLabel; }
    CTextSlot& Slot() { return fSlot; }

private:
    CNSqDevCtx* fCtx;
    LMenu fMenu;
    LTextPane fLabel;
    CTextSlot fSlot;
};

// An audio or DMX clip: file, range, loop, fade, volume and (DMX) rate.
class CNSqClipPrmF : public CNSqModelPane {
public:
    CNSqClipPrmF(LPane* container, CNSqDevCtx* ctx, bool dmx);

    LMessage HandleMessage(const LMessage& msg) override;
    void ModelChanged() override;
    void OtherChanged(const CRecordNote& note) override;
    // The file chosen in the popup (empty: none).
    void ChooseFile(const LString& name);

    bool IsDmx() const { return fRate != nullptr; }
    CTextSlot& FileSlot() { return fFile; }
    CTimeSlider& From() { return fFrom; }
    CTimeSlider& To() { return fTo; }
    LStdCheck& Loop() { return fLoop; }
    CNumVol& Fade() { return fFade; }
    CNumVol& Volume() { return fVolume; }
    CNumVol* Rate() { return fRate; }
    CKvsNPosInd& Indicator() { return fPos; }

private:
    CRecord* Scene() const;
    const CRecord* Contents() const;

    CNSqDevCtx* fCtx;
    LMenu fMenu;
    LFrame fTop;
    LTextPane fFileLabel;
    CTextSlot fFile;
    CKvsNPosInd fPos;
    LTextPane fRangeLabel;
    CTimeSlider fFrom;
    CTimeSlider fTo;
    LStdCheck fLoop;
    LFrame fBottom;
    LTextPane fFadeLabel;
    CNumVol fFade;
    LTextPane fVolumeLabel;
    CNumVol fVolume;
    LTextPane* fRateLabel = nullptr;
    CNumVol* fRate = nullptr;
};

class CNSqAudPrmF : public CNSqClipPrmF {
public:
    CNSqAudPrmF(LPane* container, CNSqDevCtx* ctx) : CNSqClipPrmF(container, ctx, false) {}
};

class CNSqDmxPrmF : public CNSqClipPrmF {
public:
    CNSqDmxPrmF(LPane* container, CNSqDevCtx* ctx) : CNSqClipPrmF(container, ctx, true) {}
};

// Shows the parameter frame of the bound scene's kind.
class CNSqUScnPrmF : public LFrame {
public:
    CNSqUScnPrmF(LPane* container, CNSqKinds* kinds);
    ~CNSqUScnPrmF() override;

    void PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;
    void BoundsChanged(const LRect& old) override;
    void SetScene(CRecord* scene);
    CRecord* Scene() const { return fScene; }
    CNSqModelPane* Shown() const { return fShown; }
    CNSqModelPane* FrameOf(u32 kind) const;

private:
    static void OnChange(void* self, CRecordNote* note);

    CRecord* fScene = nullptr;
    CRecordDoc* fDoc = nullptr;
    CNSqModelPane* fShown = nullptr;
    std::map<u32, CNSqModelPane*> fFrames;
};
