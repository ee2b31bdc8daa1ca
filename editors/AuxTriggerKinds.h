#pragma once
// How a trigger's kind (`tgmd` with `sgch`) shows in a trigger row and what the
// row's controls store: the kind popup, the one sub-frame of controls for the
// kind, and the conversions between fields and the numbers the user sees.

#include "base/LString.h"
#include "base/Types.h"

class CRecord;
class LHandler;
class LNumEdit;

// The sub-frames of a trigger row, in the row's order.
enum class TrgFrame : i32 {
    kNone = -1,
    kArtNet,
    kSacn,
    kDmx,
    kKey,
    kJoystick,
    kOsc,
    kMidiCtl,
    kMidiNote,
    kMidiProg,
    kInput,
    kCount
};

inline constexpr i32 kTrgKindItems = 16;

// What a stored trigger shows.
struct CTrgKindView {
    i32 item = 0;  // kind popup item
    TrgFrame frame = TrgFrame::kNone;
    bool countRow = false;  // Art-Net, sACN, DMX: the channel count
    bool valueRow = false;  // MIDI controller: the controller value
};

// The view of an 'APTG' trigger (its 'SNTG' `tgmd` and `sgch`).
CTrgKindView TrgKindViewOf(const CRecord* trigger);
// The sub-frame a popup item shows (before the trigger is stored).
TrgFrame TrgFrameOfItem(i32 item);
// Popup item chosen: stores the kind (and value) of the item, one undo step.
void TrgSetKindItem(CRecord* trigger, LHandler* ctx, i32 item);

// Art-Net port address: net 0..127, sub-net 0..15, universe 0..15.
u32 ArtNetAddress(u32 net, u32 subNet, u32 universe);
void SplitArtNetAddress(u32 address, u32* net, u32* subNet, u32* universe);

// The key field's text for a stored value: the one letter or digit of its low
// byte, empty for anything else (a lone byte is no text).
LString TrgKeyText(i32 value);
// The key field changed: empty stores `valu` 0; a letter is stored upper case
// with `tgmd` 4, anything else with `tgmd` 3 (one undo step).
void TrgSetKey(CRecord* trigger, LHandler* ctx, const LString& text);

// The OSC number typed: -1 (none) when the field holds no digit yet or a
// negative number; a number beyond the field's range is held at the largest one.
i32 TrgOscNumber(LNumEdit& field);
