#pragma once
// The uploads of a controller: files dropped on its control window queue up on
// the device's file job queue; the upload window, made at the first drop,
// follows them twice a second while any is under way.

#include <vector>

#include "devices/CKvsUpldWin.h"
#include "devices/audio/CAudioConvJob.h"
#include "devlink/FileJobQueue.h"
#include "framework/LTimer.h"

class CKvsDevCtl;

class CKvsUploads : public LHandler {
public:
    static constexpr u32 kUpdateMs = 500;

    // parent: the controller, whose queues, records and window the jobs use.
    CKvsUploads(LHandler* parent, CKvsDevCtl* ctl);
    ~CKvsUploads() override;
    LMessage HandleMessage(const LMessage& msg) override;

    // kind 0 recordings (".drc"), 1 audio files (".wav"); targets, where
    // given and named, the card's files they were agreed to replace.
    void Dropped(u32 kind, const std::vector<LString>& paths,
                 const std::vector<CardAgreement>& targets = {});
    // Jobs queued and not yet ended: nothing may close meanwhile.
    bool Pending() const { return fJobs.JobsFinished() < fJobs.JobsAdded(); }
    // What the window's Cancel button does: every job still queued or under way ends.
    void Cancel() { fJobs.CancelAll(); }
    void UpdateWindow();
    CKvsUpldWin* Window() const { return fWindow; }
    CKvsFileJobQueue& Jobs() { return fJobs; }

private:
    // Before the queue: the queue resets it when destroyed.
    CAudioConvJob fConversion;
    CKvsFileJobQueue fJobs;
    CKvsUpldWin* fWindow = nullptr;
    LTimer fTimer;
    CKvsDevCtl* fCtl;
    // The kind of each queued path, for the text of its failure.
    std::vector<std::pair<LString, u32>> fKinds;
};
