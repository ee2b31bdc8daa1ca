#include "editors/AuxTriggerKinds.h"

#include "framework/LEditText.h"
#include "records/CRecord.h"
#include "records/ShowKinds.h"
#include "records/ShowOpsSupport.h"
#include "records/Triggers.h"

namespace {

enum class Setter : u8 { kModeOnly, kSigned, kModeValue };

struct KindItem {
    Setter setter;
    u8 mode;
    i32 value;
    TrgFrame frame;
};

// Popup item -> what it stores and shows.
constexpr KindItem kItems[kTrgKindItems] = {
    {Setter::kModeOnly, 0, 0, TrgFrame::kNone},        //
    {Setter::kSigned, 1, -1, TrgFrame::kArtNet},       // Art-Net
    {Setter::kSigned, 1, 1, TrgFrame::kArtNet},        // Art-Net with count
    {Setter::kSigned, 14, -1, TrgFrame::kSacn},        // sACN
    {Setter::kSigned, 14, 1, TrgFrame::kSacn},         // sACN with count
    {Setter::kSigned, 2, -1, TrgFrame::kDmx},          // DMX
    {Setter::kSigned, 2, 1, TrgFrame::kDmx},           // DMX with count
    {Setter::kModeValue, 3, 0, TrgFrame::kKey},        // key
    {Setter::kModeValue, 5, 1, TrgFrame::kJoystick},   // joystick button
    {Setter::kModeValue, 6, -1, TrgFrame::kOsc},       // OSC
    {Setter::kModeOnly, 8, 0, TrgFrame::kMidiCtl},     // MIDI controller, any value
    {Setter::kModeValue, 7, 0, TrgFrame::kMidiCtl},    // MIDI controller value
    {Setter::kModeOnly, 10, 0, TrgFrame::kMidiNote},   // MIDI note
    {Setter::kModeValue, 11, 0, TrgFrame::kMidiProg},  // MIDI program
    {Setter::kModeValue, 12, 0, TrgFrame::kInput},     // input 1..8
    {Setter::kModeValue, 13, 1, TrgFrame::kInput},     // input 1..255
};

bool IsKeyChar(u32 c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

CTrgKindView TrgKindViewOf(const CRecord* trigger) {
    CTrgKindView v;
    const CRecord* tg = trigger ? trigger->GetChild(AptgF::sntg) : nullptr;
    if (!tg) return v;
    const bool count = tg->GetU8(SntgF::sgch) != 0;
    switch (tg->GetU8(SntgF::tgmd)) {
        case 1:
            v.item = count ? 2 : 1;
            v.countRow = count;
            break;
        case 2:
            v.item = count ? 6 : 5;
            v.countRow = count;
            break;
        case 14:
            v.item = count ? 4 : 3;
            v.countRow = count;
            break;
        case 3:
        case 4:
            v.item = 7;
            break;
        case 5:
            v.item = 8;
            break;
        case 6:
            v.item = 9;
            break;
        case 7:
            v.item = 11;
            v.valueRow = true;
            break;
        case 8:
        case 9:
            v.item = 10;
            break;
        case 10:
            v.item = 12;
            break;
        case 11:
            v.item = 13;
            break;
        case 12:
            v.item = 14;
            break;
        case 13:
            v.item = 15;
            break;
        default:
            v.item = 0;
            break;
    }
    v.frame = kItems[v.item].frame;
    return v;
}

TrgFrame TrgFrameOfItem(i32 item) {
    return item >= 0 && item < kTrgKindItems ? kItems[item].frame : TrgFrame::kNone;
}

void TrgSetKindItem(CRecord* trigger, LHandler* ctx, i32 item) {
    if (!trigger || item < 0 || item >= kTrgKindItems) return;
    const KindItem& k = kItems[item];
    switch (k.setter) {
        case Setter::kModeOnly:
            if (CRecord* tg = trigger->GetChild(AptgF::sntg)) tg->SetU8(ctx, SntgF::tgmd, k.mode);
            break;
        case Setter::kSigned:
            AuxTriggerSetModeSigned(trigger, ctx, k.mode, k.value);
            break;
        case Setter::kModeValue:
            AuxTriggerSetModeAndValue(trigger, ctx, k.mode, u32(k.value));
            break;
    }
}

u32 ArtNetAddress(u32 net, u32 subNet, u32 universe) {
    return ((net & 127) << 8) | ((subNet & 15) << 4) | (universe & 15);
}

void SplitArtNetAddress(u32 address, u32* net, u32* subNet, u32* universe) {
    *net = (address >> 8) & 127;
    *subNet = (address >> 4) & 15;
    *universe = address & 15;
}

LString TrgKeyText(i32 value) {
    const u32 c = u32(value) & 0xFF;
    if (!IsKeyChar(c)) return LString();
    const char s[2] = {char(c), 0};
    return LString(s);
}

void TrgSetKey(CRecord* trigger, LHandler* ctx, const LString& text) {
    if (!trigger) return;
    const char* s = text.CStr();
    if (!s[0]) {
        trigger->SetI32(ctx, AptgF::valu, 0);
        return;
    }
    u32 c = u8(s[0]);
    u8 mode = 3;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        mode = 4;
        if (c >= 'a') c -= 'a' - 'A';
    }
    auto group = showops::OpenGroup(ctx, trigger);
    if (CRecord* tg = trigger->GetChild(AptgF::sntg)) tg->SetU8(ctx, SntgF::tgmd, mode);
    trigger->SetI32(ctx, AptgF::valu, i32(c));
}

i32 TrgOscNumber(LNumEdit& field) {
    // A lone "-" is a number begun, not 0: it stores none, as an empty field does.
    const LString text = field.GetText();
    bool digit = false;
    for (const char* s = text.CStr(); *s && !digit; ++s) digit = *s >= '0' && *s <= '9';
    if (!digit) return -1;
    const i32 v = field.GetLong();
    return v < 0 ? -1 : v;
}
