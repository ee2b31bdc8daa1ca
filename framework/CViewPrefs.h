#pragma once
// The view preferences: the user's font family and size for each numbered
// font slot, kept in the application preferences record under "fonts" /
// slot / "fam", "pts", and the message that lays every window out again.

#include "base/LString.h"
#include "framework/LHandler.h"

class CRecord;

struct CViewFont {
    LString family;
    f32 points = 12.0f;
};

class CViewPrefs : public LHandler {
public:
    CViewPrefs() = default;

    // The one instance, for the whole run.
    static CViewPrefs& Instance();

    // The 'YUND'/'PRMS' node of the preferences record (null detaches); the
    // windows are told, since their fonts may change with it.
    void Attach(CRecord* node);
    CRecord* Node() const { return fNode; }

    // Sizes the font engine is given: 1 to 1000 points.
    static bool IsUsablePoints(f32 points);
    // True when the user set a family for the slot. Points outside 1-1000, or
    // not a number, count as missing (12).
    bool GetFont(u32 slot, CViewFont* out) const;
    // Writes and announces only a real change (points kept to one decimal). A
    // family with an unusable size is stored with 12 points.
    void SetFont(u32 slot, const CViewFont& font);
    // Drops every native font, then sends "CViewPrefs_Changed" to the frame of
    // every window in window-list order.
    void NotifyChanged();

private:
    CRecord* fNode = nullptr;
};
