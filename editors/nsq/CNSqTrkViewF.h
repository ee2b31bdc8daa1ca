#pragma once
// The play edit of a device in NSQ format: multi-track sequences on a 24-hour
// time line. Besides the play edit it keeps the NSQ device context and the
// time scale, plays the shown sequence from a time, follows the device's play
// position, and keeps the DMX recording monitor window of the chosen scene.

#include "editors/CKvsPlayCmd.h"
#include "editors/nsq/CNSqKinds.h"
#include "editors/nsq/CNSqTimeScale.h"

class CKvsFileListFetch2;
class CMedInfoReq;
class CKvsPlay2Frm;
class CNSqTrkEditF;
class LMenu;

class CNSqTrkViewF : public CKvsPlayCmd {
public:
    // How long after a media duration changed the scenes are drawn again.
    static constexpr u32 kRedrawDelayMs = 1000;

    CNSqTrkViewF(LHandler* parent, LPane* owner, MPlayDevice* device);
    ~CNSqTrkViewF() override;

    // Fills the NSQ entry of the play view registry.
    static void Register();

    LMessage HandleMessage(const LMessage& msg) override;
    void SyncWindowVisibility() override;
    bool AcceptsOwnFormat() const override;
    // The monitor's universes changed.
    virtual void RefreshUniverseStatus();
    // True for the NSQ format of the sequence settings.
    virtual bool IsNsqFormat() const;

    CNSqDevCtx& Context() { return fCtx; }
    CNSqTimeScale& Scale() { return fScale; }
    LTimer& RedrawTimer() { return fRedraw; }
    // Asks the device for the durations of its files (none without a device).
    CMedInfoReq* MediaRequester() const { return fMedInfo; }
    LFrame* MonitorWindow() const { return fMonitor; }
    // The play frame in the owner pane (none without an owner).
    CKvsPlay2Frm* Frame() const { return fFrame; }

    // The scene context menu of the track rows.
    LMenu* SceneMenu() const { return fSceneMenu; }
    // The track editor that shows the sequence (the play frame's; none at first).
    void SetTrackEditor(CNSqTrkEditF* editor) { fEditor = editor; }
    // The sequence the editor shows (none at first).
    void SetShownSequence(CRecord* sequence);
    CRecord* ShownSequence() const { return fShown; }
    bool ShownIsPlaying() const;

    // The zoom slider moved: the scale follows and is remembered ("vwtmscl").
    void SetZoom(i32 sliderValue);
    // Plays the shown sequence from that time (a ruler double-click).
    void PlayFrom(double seconds);
    void StopPlay();
    // The play position, "--:--:--" while another sequence plays.
    LString PlayTimeText() const;
    // The clip of the one selected DMX scene, null otherwise.
    CRecord* CurrentDmxClip() const;
    // "cDetStart": the clip's start becomes the detected one (one undo step).
    bool DetectStart();
    // Stores a detected start; a value that is no time within the clip's
    // range of milliseconds leaves the start alone.
    bool ApplyDetectedStart(CRecord* clip, double seconds);
    // "cCntTrim".
    void TrimClip();
    // Makes or deletes the monitor window after the preference and visibility.
    void CheckMonitorWindow();

private:
    static void OnDevice(void* self, CRecordNote* note);
    static void OnPrefs(void* self, CRecordNote* note);
    static void OnSelection(void* self, CRecordNote* note);
    void UpdateMonitorScene();
    void UpdateTimeText();
    void DeleteMonitor();
    void AddSequence();
    CRecord* CommandRecord() const;

    LMenu* fSceneMenu;
    CNSqDevCtx fCtx;
    CNSqTimeScale fScale;
    CKvsFileListFetch2* fFetch = nullptr;
    CMedInfoReq* fMedInfo = nullptr;
    LTimer fRedraw;
    LFrame* fMonitor = nullptr;
    CNSqTrkEditF* fEditor = nullptr;
    CKvsPlay2Frm* fFrame = nullptr;
    CRecord* fShown = nullptr;
    LString fTimeText;
    // On show when visibility was last synchronised.
    bool fOnShow = false;
};
