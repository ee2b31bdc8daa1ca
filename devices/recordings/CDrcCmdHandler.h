#pragma once
// The basic play edit of a device: the play command handler with the play
// frame, and the commands that let the device rework its DMX recordings
// (find the start, trim, merge, join).

#include "editors/CKvsPlayCmd.h"

class CKvsPlayFrm;
class CRecordDoc;
struct CRecordNote;
class LPane;

class CDrcCmdHandler : public CKvsPlayCmd {
public:
    CDrcCmdHandler(LHandler* parent, LPane* owner, MPlayDevice* device);
    ~CDrcCmdHandler() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void RefreshMonitor() override;
    bool AcceptsOwnFormat() const override;
    bool IsBasicFormat() const;

    CKvsPlayFrm* Frame() const { return fFrame; }
    // The commands, public for the tests.
    void EnableDrcCommands(LMenuBar* bar);
    void DetectStart();
    void TrimClip();
    void MergeScenes();
    void JoinScenes();
    void AddSequence();
    void AddScene();

private:
    static void DeviceRecordChanged(void* self, CRecordNote* note);
    void UpdatePlaying();
    // The DMX clip of the scene selected in mode 0, or null.
    CRecord* CurrentClip() const;

    CKvsPlayFrm* fFrame = nullptr;
};

// The scene edit frame may start a device operation: shown, and the device
// in scene mode 0.
bool PaneShownAndIdle(const LPane* pane, u32 mode);
// Registers the basic play edit for every format but the NSQ one.
void RegisterBasicPlayView();
