#pragma once
// The lower half of a play frame: one sequence with its repeat flag, its scene
// list (DMX scenes or audio scenes, as the device's mode says), the clip of the
// selected scene, the monitor of the device's position in it and, when the
// preference asks for it, the universes the device plays.

#include <memory>

#include "framework/LFrame.h"
#include "framework/LStdCtl.h"

class CHeaderFrameV;
class CKvsScnList;
class CKvsScnMonF;
class CKvsScnPrmF;
class CRecord;
class CRecordDoc;
class LListNavi;
class MPlayDevice;
class MScnUnvFrame;
struct CRecordNote;

class CKvsScnEdF : public LFrame {
public:
    CKvsScnEdF(LHandler* parent, LPane* container, MPlayDevice* device, CRecord* seqSettings);
    ~CKvsScnEdF() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void BoundsChanged(const LRect& old) override;

    // Another sequence or none (the frame hides without one).
    void SetSequence(CRecord* sequence);
    // The deferred update: the selected scene, whether the device plays it,
    // the clip shown. Runs at once where nothing defers it.
    void Update();

    CRecord* Sequence() const { return fSeq; }
    u32 Mode() const;
    u32 FocusSide() const { return fFocusSide; }
    // The selected scene of the mode's list, or null.
    CRecord* SelectedScene() const;
    bool SceneActive() const { return fActive; }
    // The play button of the monitor.
    void Play();
    // What a play from a scene sends: its time plus the bar's seconds, held
    // to the i32 range.
    static i32 PlayTime(i32 sntm, i64 seconds);

    LStdCheck& Repeat() { return fRepeat; }
    // The "+" of the scene list; the play edit adds the scene.
    CPlusButton& PlusButton() { return fPlus; }
    CHeaderFrameV* Header() const { return fHeader; }
    LListNavi* Navi() const { return fNavi; }
    CKvsScnList* List() const { return fList; }
    LFrame& SceneFrame() { return fScene; }
    CKvsScnPrmF* Params() const { return fPrm; }
    CKvsScnMonF* Monitor() const { return fMon; }
    // The universes frame, or an empty stand-in without the hook.
    LPane* UniversePane() const { return fUnvPane; }
    MScnUnvFrame* Universes() const { return fUnv.get(); }

private:
    void ModeUpdate();
    // The header's titles over the play buttons, the times and the names.
    void PlaceHeader();
    void ScheduleUpdate();
    void ShowUniverses();
    static void Listener(void* self, CRecordNote* note);
    void OnChange(CRecordNote* note);

    MPlayDevice* fDevice;
    CRecord* fSettings;
    CRecord* fSeq = nullptr;
    u32 fFocusSide = 0;
    u8 fActive = 0;
    u8 fUpdatePending = 0;
    LStdCheck fRepeat;
    CHeaderFrameV* fHeader;
    CPlusButton fPlus;
    LListNavi* fNavi = nullptr;
    CKvsScnList* fList = nullptr;
    LFrame fScene;
    CKvsScnPrmF* fPrm = nullptr;
    CKvsScnMonF* fMon = nullptr;
    std::unique_ptr<MScnUnvFrame> fUnv;
    LPane* fUnvPane = nullptr;
    CRecordDoc* fPrefs = nullptr;
};
