#pragma once
// The application object: the top of every handler chain. It owns the
// application preferences, the local address watcher, the menu-key registry
// and the device document, keeps the network-interface menu "NETW", answers
// the application-wide commands and decides whether the application may quit.

#include <memory>
#include <vector>

#include "devices/CKvsDevDoc.h"
#include "devlink/NetIf.h"
#include "framework/CMainLoop.h"
#include "framework/CMenuKeyReg.h"
#include "records/CRecordDoc.h"

class CKvsSpdCalcDlg;
class LMenuBar;
class MKvsDevView;

class CKvsApp : public CMainLoopBase, public CNetIfPrefSource {
public:
    // view: for tests, a stand-in for the device window.
    explicit CKvsApp(MKvsDevView* view = nullptr);
    ~CKvsApp() override;

    LMessage HandleMessage(const LMessage& msg) override;

    void LoadPrefs();
    void SavePrefs();
    // The media index of a device, moved to (or made at) the front of `mdis`.
    static CRecord* TouchRecent(CRecordDoc* prefs, u32 serial);
    // Trims `docs` as it is saved: 20 entries at most, open entries always kept.
    static void TrimDocs(CRecord* root);

    CRecord* Prefs() const { return fPrefs.Root(); }
    CKvsDevDoc* DevDoc() const { return fDoc.get(); }
    CLocalAddrWatch& AddrWatch() { return fWatch; }

    // CNetIfPrefSource: `ntif`.
    LString ChosenInterfaceName() override;
    void AddChangeListener(void* object, ChangeFn fn) override;
    void RemoveChangeListener(void* object, ChangeFn fn) override;

private:
    static void OnPrefChange(void* self, CRecordNote* note);
    void RebuildNetMenu(LMenuBar* bar);
    void Terminate();
    // How long a forced end, which can ask nobody, waits for settings on their
    // way to a device that has stopped answering.
    static constexpr u32 kSettingsSentIdleMs = 2000;

    CRecordDoc fPrefs;
    std::vector<std::pair<void*, ChangeFn>> fNetListeners;
    CLocalAddrWatch fWatch;
    CMenuKeyReg fKeys;
    std::unique_ptr<CKvsDevDoc> fDoc;
    std::unique_ptr<CKvsSpdCalcDlg> fSpdCalc;  // made on first use, kept
};

// The factory that start-up hands the framework.
CMainLoopBase* NewKvsApp();
