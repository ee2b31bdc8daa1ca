#pragma once
// The dialog of a new blackout recording: how many universes, how long, at
// which level, under which name; it shows the address of the last universe.

#include "framework/CNumVol.h"
#include "framework/LDialog.h"
#include "framework/LEditText.h"
#include "framework/LTextPane.h"

class CKvsBoDlg : public LDialog {
public:
    enum : u32 { kLabels = 5 };
    explicit CKvsBoDlg(LHandler* parent);
    LMessage HandleMessage(const LMessage& msg) override;

    // The last universe's net/sub-net/universe; OK only with a name.
    void Update();

    LStdButton fOk;
    LStdButton fCancel;
    LTextPane fLabels[kLabels];  // universes, level, duration, name, last universe
    CNumVol fUniverses;
    CNumVol fLevel;
    CNumVol fDuration;
    LAsciiEdit fName;
    LTextPane fAddress;
};
