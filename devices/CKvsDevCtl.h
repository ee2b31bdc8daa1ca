#pragma once
// One device as the application keeps it: its records, the request queues and
// the record channels that keep them in step with the device, and the timer of
// its system status. It lives from the device's first answer to the end of the
// device document, also after the device left the list.

#include <vector>

#include "devlink/CDevRequestQueue.h"
#include "devlink/ReqQueue.h"
#include "framework/LTimer.h"
#include "records/CRecordDoc.h"

// Sent to the parent each time the device's settings record has been read.
inline constexpr const char* CKvsDevCtl_SettingsRead = "CKvsDevCtl_SettingsRead";

class CKvsDevSet;
class CKvsUploads;
class CKvsDevCtlScreen;

class CKvsDevCtl : public LHandler {
public:
    // The seven record documents, in the order the controller builds them.
    enum : u32 { kDrcStat, kSettings, kCommands, kState, kContents, kSeqStat, kSysStat, kDocCount };

    CKvsDevCtl(LHandler* doc, CKvsDevSet* set, u32 serial);
    ~CKvsDevCtl() override;

    LMessage HandleMessage(const LMessage& msg) override;

    // The control window comes with the device control screens; until then
    // nothing it could refuse is open.
    // False while dropped files are still under way.
    bool CanClose();
    // Files dropped on the control window: kind 0 recordings, 1 audio files.
    void DropFiles(u32 kind, const std::vector<LString>& paths);
    CKvsUploads* Uploads() const { return fUploads; }
    // Opens the control window (made at the first call) or brings it forward.
    void ShowWindow();
    bool WindowShown() const;
    CKvsDevCtlScreen* Screen() const { return fScreen; }
    void NetMonChanged() {}

    u32 Serial() const { return fSerial; }
    CKvsDevSet* DeviceSet() const { return fSet; }
    CRecordDoc& Doc(u32 which) { return *fDocs.docs[which]; }
    CRecord* Record(u32 which) const { return fDocs.docs[which]->Root(); }
    CRecord* Settings() const { return Record(kSettings); }
    CRecord* State() const { return Record(kState); }
    CReqQueue& FileQueue() { return fFileQueue; }
    CReqQueue& ChannelQueue() { return fChanQueue; }
    CDevRequestQueue& SettingsChannel() { return fSettingsChan; }
    CDevRequestQueue& CommandChannel() { return fCommandChan; }
    CDevRequestQueue& SeqStatChannel() { return fSeqStatChan; }
    CDevRequestQueue& SysStatChannel() { return fSysStatChan; }
    u32 ShowRequests() const { return fShowRequests; }
    // True once the device's settings record has been read.
    bool SettingsKnown() const { return fSettingsKnown; }

private:
    static void SettingsRead(void* self);
    static void StatusChanged(void* self, CRecordNote* note);

    // Built before and destroyed after the channels that hold their records.
    struct Docs {
        Docs();
        ~Docs();
        Docs(const Docs&) = delete;
        Docs& operator=(const Docs&) = delete;
        CRecordDoc* docs[kDocCount];
    };

    CKvsDevSet* fSet;
    u32 fSerial;
    Docs fDocs;
    CReqQueue fFileQueue;
    CReqQueue fChanQueue;
    CDevRequestQueue fSeqStatChan;
    CDevRequestQueue fSysStatChan;
    CDevRequestQueue fSettingsChan;
    CDevRequestQueue fCommandChan;
    LTimer fSysTimer;
    u32 fShowRequests = 0;
    bool fSettingsKnown = false;
    CKvsUploads* fUploads = nullptr;
    CKvsDevCtlScreen* fScreen = nullptr;
};
