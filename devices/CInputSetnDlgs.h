#pragma once
// The input dialogs of the control window: DrMX (the Art-Net port address the
// device takes DMX from, with two switches), sACN universe and Art-Net idle time.

#include "devices/CDevSettingsDlgs.h"
#include "editors/CArtNetAddrF.h"

class CKvsDrMXSetnDlg : public CKvsSettingsDlg {
public:
    explicit CKvsDrMXSetnDlg(LHandler* parent);
    // The 'YKVT'/'PRDR' record: `univ`, `usrc`, `uspl`.
    void Load(const CRecord* prdr);
    void Store(CRecord* prdr);

    LTextPane fNote;
    CArtNetAddrF fArtNet;
    LStdCheck fCheck1;
    LStdCheck fCheck2;
};

// One number with its label: the sACN universe, the Art-Net idle time.
class CKvsNumberSetnDlg : public CKvsSettingsDlg {
public:
    CKvsNumberSetnDlg(LHandler* parent, const char* name, f32 min, f32 max);
    LTextPane fLabel;
    CNumVol fNumber;
};

class CKvsSACNSetnDlg : public CKvsNumberSetnDlg {
public:
    explicit CKvsSACNSetnDlg(LHandler* parent);
    // `saus` of the device settings, unchanged.
    void Load(const CRecord* settings);
    void Store(CRecord* settings);
};

class CKvsAnSetnDlg : public CKvsNumberSetnDlg {
public:
    explicit CKvsAnSetnDlg(LHandler* parent);
    // `aidl` is kept in tenths and shown whole.
    void Load(const CRecord* settings);
    void Store(CRecord* settings);
};
