#pragma once
// The drop area of a device's file list: files dragged onto it are offered to
// the device as uploads of the folder shown, after asking whether files the
// card holds under the same names may be replaced. The offer runs from a
// timer, outside the drag.

#include "framework/CMainLoop.h"
#include "framework/LDropPane.h"
#include "framework/LTimer.h"
#include "devlink/FileJobQueue.h"

class MDevObjLink;

inline constexpr const char* CKvsFileDrop_Dropped = "CKvsFileDrop_Dropped";

class CKvsFileDrop : public LDropPane {
public:
    CKvsFileDrop(LPane* parent, MDevObjLink* link);
    ~CKvsFileDrop() override;
    LMessage HandleMessage(const LMessage& msg) override;

    // kind 0 recordings, 1 audio files; the pane takes drops only for those.
    void SetKind(u32 kind);
    u32 Kind() const { return fKind; }
    // Read by the receiver of "CKvsFileDrop_Dropped" during the send.
    const CPathArray& Paths() const { return fPaths; }
    // For each path, the card's file its upload replaces as the user agreed to
    // it (unnamed for a new one). Read during the send too.
    const std::vector<CardAgreement>& Targets() const { return fTargets; }
    // A dropped file (a local path), offered when the timer fires.
    void AddDropped(const LString& path);

private:
    void Offer();

    MDevObjLink* fLink;
    u32 fKind = 0;
    CPathArray fPaths;
    std::vector<CardAgreement> fTargets;
    LTimer fTimer;
    bool fOffering = false;
};

