#pragma once
// The two ways a dialog asks for the universe DMX comes from or goes to: an
// Art-Net port address as net, sub-net and universe, and an sACN universe. Each
// is a frame of its own, with its own layout (the address frame's children 1
// to 6 are label, field, label, field, label, field; the universe frame's 1
// and 2 are label and field). Which of the two a dialog stores is its choice.

#include "framework/CNumVol.h"
#include "framework/LFrame.h"
#include "framework/LTextPane.h"

class CArtNetAddrF : public LFrame {
public:
    // The net, sub-net and universe labels are items firstText to firstText + 2
    // of the string list texts.
    CArtNetAddrF(LHandler* parent, LPane* container, const char* layout, const char* texts,
                 u32 firstText);

    // The 15-bit port address; bit 15 and above are no part of the net.
    void SetAddress(u32 address);
    u32 GetAddress();

    LTextPane fNetLabel;
    CNumVol fNet;
    LTextPane fSubLabel;
    CNumVol fSub;
    LTextPane fUniLabel;
    CNumVol fUni;
};

class CSacnUniF : public LFrame {
public:
    CSacnUniF(LHandler* parent, LPane* container, const char* layout, const char* texts,
              u32 labelText);

    // Stored from 0, shown from 1 (1 to 32768): a larger stored value shows as
    // the last universe.
    void SetUniverse(u32 stored);
    // The shown universe less one, never below 0.
    u32 GetUniverse();

    LTextPane fLabel;
    CNumVol fUni;
};
