#pragma once
// The track edit frame of the NSQ editor: the zoom slider and the add-track
// button, the time ruler with its swipe pane, the track list in its
// navigator, and the horizontal time scroll bar.

#include "editors/nsq/CNSqUTrkList.h"
#include "framework/CPicturePane.h"
#include "framework/LFrame.h"
#include "framework/LListNavi.h"
#include "framework/LStdCtl.h"

class CNSqTimeScale;

// The time ruler above the scene area.
class CNSqTrkEditPane : public LPane {
public:
    CNSqTrkEditPane(LPane* container, CNSqTimeScale* scale);
    // A label's line with all its font's glyphs reach.
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;

private:
    CNSqTimeScale* fScale;
};

class CNSqTrkEditF : public LFrame {
public:
    CNSqTrkEditF(LPane* container, CNSqTimeScale* scale, LMenu* sceneMenu);
    ~CNSqTrkEditF() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    void PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;
    void BoundsChanged(const LRect& old) override;

    void SetSequence(CRecord* sequence);
    CRecord* Sequence() const { return fSeq; }
    // The time (seconds) under the swipe pane's last click.
    double ClickTime();
    // The slider and the scroll bar follow the scale.
    void SyncControls();

    CNSqUTrkList& List() { return *fList; }
    CSlider& Slider() { return *fSlider; }
    LScrollBar& ScrollBar() { return *fBar; }
    CSwipePane& Swipe() { return *fSwipe; }
    CPlusButton& Plus() { return *fPlus; }

private:
    static void OnScale(void* self, CRecordNote* note);

    // Null until made: the children made in the constructor announce themselves
    // to this frame while the later ones do not exist yet.
    CNSqTimeScale* fScale;
    CRecord* fSeq = nullptr;
    LFrame* fCtl = nullptr;
    CPlusButton* fPlus = nullptr;
    CSlider* fSlider = nullptr;
    CNSqTrkEditPane* fRuler = nullptr;
    CSwipePane* fSwipe = nullptr;
    LListNavi* fNavi = nullptr;
    CNSqUTrkList* fList = nullptr;
    LScrollBar* fBar = nullptr;
};
