#pragma once
// The universes a device plays or a scene holds, polled from the device, or
// those the Art-Net monitor sees on the network. Live mode shows the device's
// played universes (`uvst`); scene mode the universes of one recorded scene.

#include "devlink/ReqQueue.h"
#include "framework/LFrame.h"
#include "framework/LTimer.h"
#include "records/CRecordDoc.h"

class CKvsDevCtl;
class CKvsUnvList;
class LListNavi;

class CKvsScnUnvF : public LFrame {
public:
    enum : u32 { kLive = 0, kScene = 1 };
    enum : u32 { kRetryMs = 1000 };

    static CKvsScnUnvF* New(LPane* parent, CKvsDevCtl* ctl, u32 mode);
    ~CKvsScnUnvF() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;

    void SetActive(bool active);
    // The record path of the scene's DMX content (begins with "/"); empty: none.
    void SetSceneName(const LString& path);
    const LString& SceneName() const { return fPath; }
    // Publishes the Art-Net monitor's content into the controller's monitor
    // status record when the list shows it.
    void RefreshUniverseStatus();

    bool IsPolling() const { return fPolling != 0; }
    CKvsUnvList* List() const { return fList; }
    LListNavi* Navi() const { return fNavi; }
    LTimer& PollTimer() { return fTimer; }
    CRecord* OwnStatus() const { return fOwn.Root(); }
    u32 Requests() const { return fRequests; }

private:
    CKvsScnUnvF(LPane* parent, CKvsDevCtl* ctl, u32 mode);
    static void OnChange(void* self, CRecordNote* note);
    static void OnSceneRead(void* self, CStrm* data, const u32* status);
    static void OnLiveRead(void* self, bool success);
    bool UsesMonitor() const;
    void Rebind();
    void Reevaluate(bool restart = false);
    void Poll();
    CRecord* Played() const;

    CKvsDevCtl* fCtl;
    u32 fStamp = 0;
    u8 fActive = 0;
    u8 fPolling = 0;
    LTimer fTimer;
    u32 fMode;
    LString fPath;
    mutable CRecordDoc fOwn;
    LListNavi* fNavi;
    CKvsUnvList* fList;
    CRecordDoc* fAppPrefs = nullptr;
    u32 fRequests = 0;
};

// The universes of the scene selected in the NSQ track view, in a window.
class CKvsDrcMonWin : public LFrame {
public:
    CKvsDrcMonWin(LHandler* parent, CKvsDevCtl* ctl);
    void SetSceneName(const LString& path);
    void RefreshUniverseStatus();
    CKvsScnUnvF* Frame() const { return fFrame; }

private:
    CKvsScnUnvF* fFrame;
};
