#pragma once
// The recording input of a device ('YKVT'/'PRRC'): where recorded DMX comes
// from (none, Art-Net, DMX, sACN), its universe and the two channels. Only the
// frames the chosen source needs are shown.

#include "devices/CDevSettingsDlgs.h"
#include "editors/CArtNetAddrF.h"
#include "framework/CNumVol.h"

class CKvsRecSetnDlg : public CKvsSettingsDlg {
public:
    enum : u32 { kSourceNone = 0, kSourceArtNet = 1, kSourceDmx = 2, kSourceSacn = 3 };

    explicit CKvsRecSetnDlg(LHandler* parent);
    LMessage HandleMessage(const LMessage& msg) override;

    void Load(const CRecord* prrc);
    void Save(CRecord* prrc);
    void UpdateSource();

    LStdCheck fStandby;
    LTextPane fSourceLabel;
    LPopupList fSource;
    CArtNetAddrF fArtNet;
    CSacnUniF fSacn;
    LFrame fChannels;
    LTextPane fRecLabel;
    LTextPane fPlayLabel;
    CNumVol fRecChannel;
    CNumVol fPlayChannel;
};
