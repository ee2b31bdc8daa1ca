#pragma once
// The play edit's one-sequence windows: the background music, the auto play
// (with its start delay and flags) and the PWDW sequence; the last two start
// their sequence on the device at once.

#include "editors/CKvsSeqSlot.h"
#include "framework/CNumVol.h"
#include "framework/LDialog.h"
#include "framework/LTextPane.h"

class MPlayDevice;
struct CPlayWindowArgs;
struct CRecordNote;

// Plays the sequence of that id on the device (`plsn`, sent again on every
// call); false, sending nothing, when the sequence is gone.
bool PlaySequenceNow(MPlayDevice* device, const CRecord* seqSettings, u32 sqid);

class CKvsSeqWin : public LModalFrame {
public:
    ~CKvsSeqWin() override;
    LMessage HandleMessage(const LMessage& msg) override;
    virtual void Refresh() = 0;

protected:
    CKvsSeqWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings,
               CRecord* play, const char* name, const char* placement);
    // The window's sequence id and where it goes.
    virtual u32 SeqId() const = 0;
    virtual void StoreSeqId(u32 sqid) = 0;
    // Called by each window once its panes exist, and before they go.
    void Start(CKvsSeqSlotEx* slot, CStateButton* play);
    void Stop();
    virtual bool Concerns(const CRecordNote* note) const;

    LPane* fOwner;
    MPlayDevice* fDevice;
    CRecord* fSettings;
    CRecord* fPlay;
    const char* fPlacement;
    CKvsSeqSlotEx* fSlot = nullptr;
    CStateButton* fPlayBtn = nullptr;

private:
    static void Listener(void* self, CRecordNote* note);
    bool fListening = false;
};

class CKvsBgmWin : public CKvsSeqWin {
public:
    CKvsBgmWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings,
               CRecord* play);
    ~CKvsBgmWin() override;
    void Refresh() override;

    LTextPane fLabel;
    CKvsSeqSlotEx fSeq;

protected:
    u32 SeqId() const override;
    void StoreSeqId(u32 sqid) override;
};

class CKvsAutoWin : public CKvsSeqWin {
public:
    CKvsAutoWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings,
                CRecord* play);
    ~CKvsAutoWin() override;
    LMessage HandleMessage(const LMessage& msg) override;
    void Refresh() override;

    CStateButton fPlayNow;
    LTextPane fLabel;
    CKvsSeqSlotEx fSeq;
    LTextPane fDelayLabel;
    CNumVol fDelay;
    LStdCheck fChecks[3];  // `rtsc`, `atbt`, `svbt`

protected:
    u32 SeqId() const override;
    void StoreSeqId(u32 sqid) override;
    bool Concerns(const CRecordNote* note) const override;

private:
    CRecord* Plat() const;
    CRecord* Prpc() const;
};

class CKvsPwdWin : public CKvsSeqWin {
public:
    CKvsPwdWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings,
               CRecord* play);
    ~CKvsPwdWin() override;
    void Refresh() override;

    CStateButton fPlayNow;
    LTextPane fLabel;
    CKvsSeqSlotEx fSeq;

protected:
    u32 SeqId() const override;
    void StoreSeqId(u32 sqid) override;
};

LFrame* NewBgmWin(const CPlayWindowArgs& args);
LFrame* NewAutoWin(const CPlayWindowArgs& args);
LFrame* NewPwdWin(const CPlayWindowArgs& args);
