#pragma once
// The source of an external control value (one DMX channel by Art-Net, sACN or
// a DMX input) with its address, and the master fader dialog built on it.

#include <vector>

#include "editors/CArtNetAddrF.h"
#include "framework/CNumVol.h"
#include "framework/LDialog.h"
#include "framework/LTextPane.h"

class CRecord;

class CExtCtlF : public LFrame {
public:
    enum : u32 { kNone = 0, kArtNet = 1, kSacn = 2, kDmx = 3 };

    CExtCtlF(LHandler* parent, LPane* container);

    LMessage HandleMessage(const LMessage& msg) override;

    void AddKind(u32 kind);
    // An unknown kind selects the first entry.
    void SetKind(u32 kind);
    u32 GetKind() const;
    // The Art-Net port address (15 bits) and the sACN universe - 1 at once.
    void SetAddress(u32 address);
    // The sACN universe - 1 while sACN is chosen, else the Art-Net port address.
    u32 GetAddress();
    void UpdateFrames();

    std::vector<u32> fKinds;
    LTextPane fKindLabel;
    LPopupList fKind;
    CArtNetAddrF fArtNet;
    CSacnUniF fSacn;
    LFrame fDmx;
    LTextPane fChannelLabel;
    CNumVol fChannel;
};

class CKvsMstFdrDlg : public LDialog {
public:
    CKvsMstFdrDlg(LHandler* parent, LPane* owner);

    // 'YKVT'/'PRPC': `mfct`, `anun`, `chmf`, `svmf`, `msmt`; saved without undo.
    void LoadFromRecord(const CRecord* prpc);
    void SaveToRecord(CRecord* prpc);

    LStdButton fOk;
    LStdButton fCancel;
    CExtCtlF fSource;
    LStdCheck fShowFader;
    LStdCheck fSaveLevel;
    LStdCheck fSoundToo;
};
