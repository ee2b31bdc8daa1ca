#pragma once
// The device document: finds the devices with the broadcast status poll, keeps
// them sorted by serial in the device set, keeps one controller per device that
// ever answered, and owns the device window. The application object is its
// parent handler.

#include <memory>
#include <unordered_map>
#include <vector>

#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devlink/Tftp.h"
#include "framework/LTimer.h"

inline constexpr const char* CKvsDevDoc_Close = "CKvsDevDoc_Close";
inline constexpr const char* CKvsDevList_DblClk = "CKvsDevList_DblClk";

// What the document needs of its window: the device window implements it; the
// document's tests stand in for it.
class CKvsDevCommands;
class CKvsNetMon;
class CRecordDoc;

class MKvsDevView {
public:
    virtual ~MKvsDevView() = default;
    virtual void SetRefreshProgress(u32 value) = 0;
    // The row of the selected cell of the device list, -1 for none.
    virtual i32 SelectedRow() = 0;
    // Selects a row; the list then reports the selection change to the document.
    virtual void SelectRow(i32 row) = 0;
    // Serial 0 and no records hide the device frame.
    virtual void ShowDevice(u16 serial, CRecord* settings, CRecord* state) = 0;
    virtual LRect WindowBounds() = 0;
    virtual void PlaceWindow(const LRect& bounds) = 0;
    // The handler the window sends its messages from ("LFrame_Close").
    virtual LHandler* WindowHandler() = 0;
    virtual LHandler* ListHandler() = 0;
    // One line under the list: why it is empty, or that the search failed.
    virtual void SetStatusText(const LString&) {}
};

class CKvsDevDoc : public LHandler {
public:
    enum : u32 { kConstructing = 0, kRefreshing = 1, kSteady = 2 };
    enum : u32 { kPollPeriodSelectedMs = 1000, kPollPeriodIdleMs = 5000, kProgressMax = 256 };
    // A device whose state stops coming after its first answer is given up after
    // this long without a block: its status is one block, and the next poll is
    // due a second after this one started, for every other device too.
    enum : u32 { kPollPeerIdleMs = 2000 };
    // A device's answer takes milliseconds; one not finished a round after it
    // began (an answer that never ends or trickles) is let go for this poll,
    // so that the poll ends and every other device is polled again on time.
    enum : u32 { kPollRoundMs = 1000 };

    // prefs: the 'YKVS'/'PRDV' record. view null: the document builds the device window.
    CKvsDevDoc(LHandler* app, CRecord* prefs, MKvsDevView* view = nullptr);
    ~CKvsDevDoc() override;

    LMessage HandleMessage(const LMessage& msg) override;

    void StartPoll();
    void StartRefresh();
    bool CanClose();
    // The session ends: every upload under way is cancelled, as its window's
    // button does, and the play views, shown or not, send what is pending
    // without asking anyone.
    void PrepareForcedEnd();
    // Until the settings and commands already changed have reached the
    // devices, running the loop meanwhile; gives up when no queue made
    // progress for idleLimitMs. False when it gave up: the devices still
    // holding some are then taken as away (LeftWithoutDevice).
    bool WaitSettingsSent(u32 idleLimitMs);
    CKvsDevCtl* SelectedController();
    CKvsDevCtl* FindController(u16 serial) const;
    CKvsDevCtl* FindOrCreateController(u16 serial);
    // A controller without a device (serial 0) for a play-settings file; one
    // per file opened, appended after the others.
    CKvsDevCtl* AddFileController();
    // A file controller whose file was refused: nothing of it stays.
    void DropFileController(CKvsDevCtl* ctl);
    void RefreshAllSettings();
    bool AnyControlWindowShown() const;
    // The 'YKVS'/'PRDV' preferences, null without.
    CRecord* Prefs() const { return fPrefs; }
    CKvsDevCommands& Commands() { return *fCommands; }
    // Shows the selected device in the device frame, or hides the frame.
    void ShowSelected();

    CKvsDevSet& DeviceSet() { return fSet; }
    CTftpManager& Transfers() { return fTftp; }
    MKvsDevView* View() const { return fView; }
    u32 RefreshState() const { return fRefresh; }
    u32 RefreshPass() const { return fPass; }
    bool PollInFlight() const { return fPoll != nullptr; }
    // When the latest poll started (ms).
    u32 PollStart() const { return fPollStart; }
    LTimer& PollTimer() { return fPollTimer; }
    u32 ControllerCount() const { return u32(fControllers.size()); }
    CKvsDevCtl* ControllerAt(u32 i) const { return i < fControllers.size() ? fControllers[i] : nullptr; }
    CKvsNetMon* NetMon() const { return fNetMon.get(); }
    // The destination of the poll: the broadcast address, port 61007.
    LNetAddr fPollTarget;

private:
    static void OnPoll(void* self, u32 event, void* object);
    static void OnDeviceChange(void* self, CRecordNote* note);
    static void OnAppPrefChange(void* self, CRecordNote* note);
    void PollDone();
    void HandleReply(CTftpPeer* peer);

    CRecord* fPrefs;
    CKvsDevSet fSet;
    CTftpManager fTftp;
    u32 fRefresh = kConstructing;
    u32 fPass = 0;
    LTimer fPollTimer;
    CTftpSession* fPoll = nullptr;
    u32 fPollStart = 0;
    std::vector<CKvsDevCtl*> fControllers;  // in order of creation
    // Device controllers by serial: each poll answer looks its device's up.
    std::unordered_map<u16, CKvsDevCtl*> fBySerial;
    MKvsDevView* fView = nullptr;
    bool fOwnsView = false;
    // Last: its direct transfers go before the transfer manager.
    std::unique_ptr<CKvsDevCommands> fCommands;
    // The Art-Net monitor, switched by the preference "usnm"; destroyed after the
    // controllers that point to it.
    std::unique_ptr<CKvsNetMon> fNetMon;
    CRecordDoc* fAppPrefs = nullptr;
};

// A "serno" option value as a device serial: a plain decimal number from 1 to
// 65535; false for anything else (another device's serial must never be made
// up from it).
bool ParseDeviceSerial(const char* text, u16* serial);
