#include "editors/CArtNetAddrF.h"

#include <algorithm>

#include "editors/AuxTriggerKinds.h"
#include "framework/StdDialogs.h"

// ---- CArtNetAddrF

CArtNetAddrF::CArtNetAddrF(LHandler* parent, LPane* container, const char* layout,
                           const char* texts, u32 firstText)
    : LFrame(parent, container),
      fNetLabel(this),
      fNet(this),
      fSubLabel(this),
      fSub(this),
      fUniLabel(this),
      fUni(this) {
    fNetLabel.SetText(StdDialogText(texts, firstText));
    fSubLabel.SetText(StdDialogText(texts, firstText + 1));
    fUniLabel.SetText(StdDialogText(texts, firstText + 2));
    fNet.SetRange(0, 127, 1);
    fSub.SetRange(0, 15, 1);
    fUni.SetRange(0, 15, 1);
    SetLayoutByName(layout, 1);
}

void CArtNetAddrF::SetAddress(u32 address) {
    u32 net = 0, sub = 0, uni = 0;
    SplitArtNetAddress(address, &net, &sub, &uni);
    fNet.SetValue(f32(net));
    fSub.SetValue(f32(sub));
    fUni.SetValue(f32(uni));
}

u32 CArtNetAddrF::GetAddress() {
    return ArtNetAddress(u32(Whole(fNet)), u32(Whole(fSub)), u32(Whole(fUni)));
}

// ---- CSacnUniF

CSacnUniF::CSacnUniF(LHandler* parent, LPane* container, const char* layout, const char* texts,
                     u32 labelText)
    : LFrame(parent, container), fLabel(this), fUni(this) {
    fLabel.SetText(StdDialogText(texts, labelText));
    fUni.SetRange(1, 32768, 1);
    SetLayoutByName(layout, 1);
}

void CSacnUniF::SetUniverse(u32 stored) {
    fUni.SetValue(f32(std::min<u32>(stored, 32767) + 1));
}

u32 CSacnUniF::GetUniverse() {
    // A field that holds no number reads 0 here: that stores universe 1, not
    // 0 less one.
    const u32 shown = u32(Whole(fUni));
    return shown == 0 ? 0 : shown - 1;
}
