#pragma once
// The pane in each track row that draws the track's scenes on the time line
// and turns clicks into scene selection, drag starts and context clicks.

#include <vector>

#include "editors/nsq/CNSqKinds.h"
#include "framework/LPane.h"

class CNSqTimeScale;

// Sent up the handler chain; the pane's ClickTime() holds the time (seconds).
inline constexpr const char* CNSqUTrkVw_CClk_Clk = "CNSqUTrkVw_CClk_Clk";
inline constexpr const char* CNSqUTrkVw_CClk_CtxClk = "CNSqUTrkVw_CClk_CtxClk";

// Where one scene of a track is drawn.
struct CNSqSceneBox {
    u32 index = 0;
    LRect box;
    bool selected = false;
    // Red markers at the edges facing a scene less than 5 pixels away.
    bool markLeft = false;
    bool markRight = false;
    // The name may run up to here (the next scene's start or the visible end).
    i32 textRight = 0;
    CNSqSceneInfo info;
};

// Scenes narrower than this many pixels are drawn (and hit) this wide.
inline constexpr i32 kNSqMinSceneWidth = 16;

// The box of scene i of the track in a pane whose left edge is time vwtm.
LRect NSqSceneBox(CNSqTimeScale& scale, const CRecord* track, u32 i, const LRect& pane);
// The boxes of the scenes the pane shows, in time order.
void NSqTrackBoxes(CNSqTimeScale& scale, const CRecord* track, const LRect& pane,
                   std::vector<CNSqSceneBox>* out);
// The scene a click at x (pane coordinates) hits, -1 for none.
i32 NSqSceneHit(CNSqTimeScale& scale, const CRecord* track, i32 x, const LRect& pane);

class CNSqUTrkVw_CClk : public LPane {
public:
    CNSqUTrkVw_CClk(LHandler* parent, LPane* container, CNSqTimeScale* scale);

    void SetTrack(CRecord* track) { fTrack = track; }
    CRecord* Track() const { return fTrack; }
    double ClickTime() const { return fClickTime; }

    LMessage HandleMessage(const LMessage& msg) override;
    // Tall enough for a scene's box to hold its name with every mark of the
    // font: the row grows with the small labels' font.
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;

private:
    bool Click(LPoint pt, bool toggleOnly);

    CNSqTimeScale* fScale;
    CRecord* fTrack = nullptr;
    double fClickTime = 0;
};
