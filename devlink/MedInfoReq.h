#pragma once
// Keeps the duration of every file of a device's contents record in its media
// index ('YKVS'/'MDIS'), asking the device for one file's media information
// at a time, whenever a listing brings a file or changes its information text.

#include <map>
#include <string>

#include "base/CStrm.h"
#include "devlink/DevObjLink.h"
#include "framework/LTimer.h"
#include "records/CRecordDoc.h"

class CMedInfoReq : public LHandler {
public:
    static constexpr u32 kRetryMs = 3000;
    // A file the device answered with an ERROR is asked again this often, each
    // time kRetryMs after the last ERROR, before it is given up; the files after
    // it are asked meanwhile. A file given up keeps any length it had and is asked
    // again at the next listing that changes, when a requester starts anew, and
    // whenever its editor is shown anew (AskAgain).
    static constexpr u32 kErrorRetries = 3;

    // Listens to the device's contents record from here on.
    CMedInfoReq(LHandler* parent, MDevObjLink* device, CRecord* mediaIndex);
    ~CMedInfoReq() override;

    LMessage HandleMessage(const LMessage& msg) override;
    bool IsBusy() const { return fBusy != 0; }
    // Its editor is shown anew: the files given up or waiting aside are asked
    // now, as a requester that starts would, without waiting for a listing
    // that changes (the device may have recovered while nobody looked).
    void AskAgain();

private:
    static void OnContents(void* self, CRecordNote* note);
    static void OnReply(void* self, CStrm* data, const u32* status);
    void Sync(u32 kind);
    void AskNext();
    void Settle(bool ok, u32 dura);
    void Refused();

    // A file the device refused: ERROR answers so far, and the tick from
    // which it may be asked again.
    struct Refusal {
        u32 count = 0;
        u32 due = 0;
    };

    MDevObjLink* fDevice;
    CRecord* fIndex;
    LTimer fTimer;
    CRecordDoc fReply;
    LString fName;
    u8 fBusy = 0;
    std::map<std::string, Refusal> fRefused;
    CRecordDoc* fContentsDoc = nullptr;
};
