#pragma once
// What the NSQ timeline does to scenes: their scrap (the clipboard and drag
// format between tracks), deleting and dropping them, and moving them in time.

#include <vector>

#include "base/DropData.h"
#include "base/LScrap.h"
#include "records/CRecord.h"

class CNSqScnSel;
class CNSqTimeScale;
class LHandler;

// The container pair of the scene scrap.
inline constexpr u32 kNSqScrapFirst = FourCC("YNST");
inline constexpr u32 kNSqScrapSecond = FourCC("SCSN");

// The selected scenes that still exist, in selection order, then a
// 'YUND'/'PRMS' record with "trk", "tim" (the anchor) and per scene "0", "1",
// ... its source track. Null when nothing is selected.
LScrapData* NSqMakeSceneScrap(CNSqTimeScale& scale, u32 anchorTrack, u32 anchorMs);

// The scenes of a scene scrap, handed out one by one; the rest go with the reader.
class CNSqScnScrap {
public:
    explicit CNSqScnScrap(CDropSource* source);
    ~CNSqScnScrap();
    CNSqScnScrap(const CNSqScnScrap&) = delete;
    CNSqScnScrap& operator=(const CNSqScnScrap&) = delete;

    u32 Track() const { return fTrack; }
    u32 Time() const { return fTime; }
    // The next scene (the caller's now) and the track it came from; null at the end.
    CRecord* Next(u32* track);

private:
    // Null entries keep the places of foreign records.
    std::vector<CRecord*> fScenes;
    std::vector<u32> fTracks;
    size_t fNext = 0;
    u32 fTrack = 0;
    u32 fTime = 0;
};

// Removes the selected scenes (last selected first) in one undo step.
void NSqDeleteSelectedScenes(LHandler* undoOwner, CNSqScnSel& sel);

// Puts the scrap's scenes at the drop row and time: each keeps its distance in
// tracks and time from the anchor; those landing on no track or at or after
// 24 h are discarded. A move first deletes the selected scenes (its sources).
// The placed scenes are the selection afterwards. Answers how many were placed.
u32 NSqDropScenes(LHandler* undoOwner, CNSqTimeScale& scale, CNSqScnScrap& scrap, i32 row,
                  double seconds, bool move);

// The earliest start of the selected scenes; false when none is selected.
bool NSqEarliestSelected(CNSqScnSel& sel, u32* ms);
// Moves the selected scenes so that the earliest starts at newMs. followers:
// the scenes after each track's first selected one move along (those the move
// runs over backwards are removed), else only the selected scenes move. Scenes
// reaching 24 h are removed.
void NSqMoveScenesTo(LHandler* undoOwner, CNSqTimeScale& scale, u32 newMs, bool followers);

// "cScnMoveTime": the move-time dialog on the earliest selected start, its
// radio choice kept as "mvtmflws" in the preferences node; confirmed, the
// selected scenes move (0: with the scenes after them). False when nothing moved.
bool NSqMoveSceneTimes(LHandler* undoOwner, LHandler* parent, CRecord* prefsNode,
                       CNSqTimeScale& scale);
