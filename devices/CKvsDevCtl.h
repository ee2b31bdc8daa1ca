#pragma once
// One device as the application keeps it: its records, the request queues and
// the record channels that keep them in step with the device, and the timer of
// its system status. It lives from the device's first answer to the end of the
// device document, also after the device left the list.

#include <vector>

#include "devlink/CDevRequestQueue.h"
#include "devlink/DevObjLink.h"
#include "devlink/FileJobQueue.h"
#include "devlink/ReqQueue.h"
#include "editors/DeviceHooks.h"
#include "editors/UnsentSettings.h"
#include "framework/LTimer.h"
#include "records/CRecordDoc.h"

// Sent to the parent each time the device's settings record has been read.
inline constexpr const char* CKvsDevCtl_SettingsRead = "CKvsDevCtl_SettingsRead";

class CKvsDevSet;
class CKvsUploads;
class CKvsDevCtlScreen;
class CKvsNetMon;
class CUvadWin;

// The editors reach the device through MPlayDevice; the file pollers and the
// device services through MDevObjLink.
class CKvsDevCtl : public LHandler, public MPlayDevice, public MDevObjLink {
public:
    // The seven record documents, in the order the controller builds them.
    enum : u32 { kDrcStat, kSettings, kCommands, kState, kContents, kSeqStat, kSysStat, kDocCount };

    CKvsDevCtl(LHandler* doc, CKvsDevSet* set, u32 serial);
    ~CKvsDevCtl() override;

    LMessage HandleMessage(const LMessage& msg) override;

    // The control window comes with the device control screens; until then
    // nothing it could refuse is open.
    // False while dropped files are still under way. A shown control window
    // first stores the edits open in it and in the windows it opened; its play
    // view then sends what is pending, or, for a play-settings file, asks. At a
    // quit a play view whose window is closed sends, or asks, as well.
    // Settings its channels have not got confirmed are waited for or given up,
    // as the user chooses: the play view's when the window closes, and every
    // channel's of the controller when the program quits.
    bool CanClose(bool quitting = false);
    // The user, asked at the last close or quit, went on without settings the
    // device had not taken: it is away, and nothing more is waited for.
    bool LeftWithoutDevice() const { return fLeftWithoutDevice; }
    void SetLeftWithoutDevice(bool left) { fLeftWithoutDevice = left; }
    // Files dropped on the control window: kind 0 recordings, 1 audio files;
    // targets, where given, the card's files they were agreed to replace.
    void DropFiles(u32 kind, const std::vector<LString>& paths,
                   const std::vector<CardAgreement>& targets = {});
    CKvsUploads* Uploads() const { return fUploads; }
    // Opens the control window (made at the first call) or brings it forward.
    void ShowWindow();
    bool WindowShown() const;
    CKvsDevCtlScreen* Screen() const { return fScreen; }
    // The Art-Net monitor's content changed: the views showing it follow.
    void NetMonChanged();
    // The document's Art-Net monitor (part of the device context).
    CKvsNetMon* NetMon() const { return fNetMon; }
    void SetNetMon(CKvsNetMon* monitor) { fNetMon = monitor; }

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

    // MPlayDevice
    u32 DeviceSerial() const override { return fSerial; }
    CRecordDoc* SettingsDoc() override { return &Doc(kSettings); }
    CRecordDoc* CommandDoc() override { return &Doc(kCommands); }
    CRecordDoc* ContentsDoc() override { return &Doc(kContents); }
    CRecordDoc* StateDoc() override { return &Doc(kState); }
    CRecordDoc* SeqStatDoc() override { return &Doc(kSeqStat); }
    CReqQueue& FileRequests() override { return fFileQueue; }
    CReqQueue& ChannelRequests() override { return fChanQueue; }
    CDevRequestQueue& SeqStatusChannel() override { return fSeqStatChan; }
    CRecord* MediaIndex() override;
    MDevObjLink* ObjLink() override { return this; }
    bool RunDeviceSyncDialog(LHandler* parent) override;
    // MDevObjLink: the file queue, the contents record; dialogs open over the controller.
    CReqQueue* DeviceQueue() override { return &fFileQueue; }
    CRecord* ContentsRecord() override { return Record(kContents); }
    LHandler* DialogOwner() override { return this; }

    // A play-settings file opened without a device: the window opens on the
    // play settings and the file is imported into them; false (and said) when
    // the file was refused: no window then holds anything of it.
    bool OpenFile(const LString& path);

    // The universe address window ("cUnvAdr"): made once, over the control
    // window, and deleted when it closes or the control window does.
    void OpenUvadWindow();
    void CloseUvadWindow();
    CUvadWin* UvadWindow() const { return fUvadWin; }

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
    // Before the channel that tells it, so that it outlives it.
    CRefusedSettings fRefused;
    CDevRequestQueue fSeqStatChan;
    CDevRequestQueue fSysStatChan;
    CDevRequestQueue fSettingsChan;
    CDevRequestQueue fCommandChan;
    LTimer fSysTimer;
    u32 fShowRequests = 0;
    bool fSettingsKnown = false;
    bool fLeftWithoutDevice = false;
    CKvsUploads* fUploads = nullptr;
    CKvsDevCtlScreen* fScreen = nullptr;
    CKvsNetMon* fNetMon = nullptr;
    CUvadWin* fUvadWin = nullptr;
};
