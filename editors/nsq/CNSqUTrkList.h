#pragma once
// The tracks of the edited NSQ sequence, one row each: the track's name and its
// scenes on the time line. The list carries the rubber-band selection of
// scenes, the scene context menu, scene drags and drops, and the clipboard
// commands of tracks.

#include "editors/nsq/CNSqUTrkVw_CClk.h"
#include "framework/LDropPane.h"
#include "framework/LEditText.h"
#include "framework/LSeparator.h"
#include "framework/LTypedCellList.h"

class CDragger;
class CNSqTimeScale;
class LMenu;

// Sent up the handler chain whenever the play position moved.
inline constexpr const char* CNSqUTrkList_Poll = "CNSqUTrkList_Poll";

class CNSqUTrkCell : public LListCell {
public:
    CNSqUTrkCell(LPane* list, CNSqTimeScale* scale);

    LEditText fName;
    CNSqUTrkVw_CClk fTrack;
    LSeparator fSep;
};

class CNSqUTrkList : public LTypedCellList {
public:
    // menu: the scene context menu (its commands name the kinds to add); may be null.
    CNSqUTrkList(LPane* owner, CNSqTimeScale* scale, LMenu* menu);
    ~CNSqUTrkList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void Draw(LDrawCtx& ctx) override;
    // The drop zone follows the scene area wherever the list moves.
    void BoundsChanged(const LRect& old) override;
    void UpdateHilite(const LRgn& changed, const LRgn& oldSelection) override;
    // A row is as high as its track frame, which may change with any bounds.
    bool CellSizeFollows(const LRect& old) const override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    u32 CellQuery(LCell* size) override;

    void SetSequence(CRecord* sequence);
    CRecord* Sequence() const { return fSeq; }
    u32 TrackCount() const;

    // The "+" button: a track at the first selected row, else at the end.
    void AddTrack();
    void InvalidateSceneArea();
    void InvalidateRow(u32 row);
    // Scrolls the view by pixels of time (positive: later).
    void ScrollTime(i32 pixels);
    // Where the scene area starts inside a row.
    i32 NameColumnWidth();
    // The scene area of the pane, in its container's coordinates.
    LRect SceneArea();
    // Adds a scene of the kind at that time to the row's track (the context
    // menu's work), which becomes the only selected scene.
    void AddSceneAt(u32 row, double seconds, u32 kind);
    bool IsBanding() const { return fBanding; }
    // The now line's time (ms; false while the shown sequence is not playing).
    bool NowTime(u32* ms) const;

private:
    struct Band;
    LRect BoxOfScene(u32 row, u32 scene);
    i32 ContentOriginX() const;
    void StartBand(LPoint pt);
    void MoveBand(LPoint pt);
    void EndBand();
    LPoint ToContent(LPoint pt);
    LRect FromContent(const LRect& r);
    LRect NowLineRect();
    void StartDrag(CNSqUTrkVw_CClk* pane, u32 row);
    bool DropScenes();
    bool RunStdCmd(const LMessage& msg);
    static void OnSelection(void* self, CRecordNote* note);
    static void OnStatus(void* self, CRecordNote* note);
    static void OnSequence(void* self, CRecordNote* note);

    CNSqTimeScale* fScale;
    LMenu* fMenu;
    CRecord* fSeq = nullptr;
    CRecordDoc* fSeqDoc = nullptr;
    CDropScrollHelper fDropper;
    // The press that may become a drag; it deletes itself at its end.
    CDragger* fDragger = nullptr;
    i32 fDragRow = -1;
    u32 fDragTime = 0;
    u32 fNow = 0xFFFFFFFFu;
    LPoint fBandAnchor;
    LRect fBand;
    bool fBanding = false;
    bool fBinding = false;
};
