#pragma once
// Couples the NSQ scene selection to the scene frames: the first selected
// scene of the shown sequence is what the scene frame and the scene
// parameter frame show; without one both are hidden.

#include "framework/LHandler.h"

class CNSqSceneFrames;
class CNSqTimeScale;
class CNSqTrkEditF;
class CNSqUScnF;
class CNSqUScnPrmF;
class CRecord;
class CRecordDoc;
struct CRecordNote;

class CKvsPlaySelLink : public LHandler {
public:
    CKvsPlaySelLink(LHandler* parent, CNSqTimeScale* scale);
    ~CKvsPlaySelLink() override;
    CKvsPlaySelLink(const CKvsPlaySelLink&) = delete;
    CKvsPlaySelLink& operator=(const CKvsPlaySelLink&) = delete;

    LMessage HandleMessage(const LMessage& msg) override;

    void SetSceneFrame(CNSqUScnF* frame);
    void SetScenePrmFrame(CNSqUScnPrmF* frame);
    void SetTrackEditFrame(CNSqTrkEditF* frame) { fTrkEdit = frame; }
    void SetSequence(CRecord* sequence);
    CRecord* Sequence() const { return fSeq; }

    // The first selected scene of the sequence, null when its place is gone.
    CRecord* CurrentScene() const;
    void Update();
    // Scrolls the track list and the time so that the first selected scene shows.
    void BringSceneIntoView();

private:
    static void OnChange(void* self, CRecordNote* note);
    void Listen(CRecord* sequence, bool on);

    CNSqTimeScale* fScale;
    CNSqUScnF* fScnF = nullptr;
    CNSqUScnPrmF* fPrmF = nullptr;
    CNSqTrkEditF* fTrkEdit = nullptr;
    CRecord* fSeq = nullptr;
};
