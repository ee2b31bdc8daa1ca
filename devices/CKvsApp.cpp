#include "devices/CKvsApp.h"

#include "devices/AppPrefStore.h"
#include "devices/DeviceHookInstall.h"
#include "devlink/OpenFiles.h"
#include "editors/CKvsSeqDlgs.h"
#include "framework/CViewPrefs.h"
#include "framework/LMenu.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/MediaIndex.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"

namespace {

constexpr const char* kNetMenu = "NETW";
constexpr const char* kCmdNetDef = "cNetDef";
constexpr const char* kCmdNetSel = "cNetSel";
constexpr const char* kCmdSpdCalc = "cSpdCalc";
constexpr u32 kDocsLimit = 20;
constexpr u32 kRecentLimit = 20;

// Interface flags: running, and neither loopback, point-to-point nor promiscuous.
constexpr u32 kIfRunning = 0x40, kIfLoopback = 0x8, kIfPointToPoint = 0x10, kIfPromisc = 0x100;

CRecord* NewPrefsRoot() {
    RegisterAllRecordKinds();
    const CRecordSchema* schema = CRecordSchema::Find(kFamKvs, kKindPref);
    return schema ? CRecord::New(schema) : nullptr;
}

}  // namespace

CKvsApp::CKvsApp(MKvsDevView* view) : fPrefs(NewPrefsRoot()), fWatch(this), fKeys(this) {
    // Every device transfer holds a socket while it runs: a network of thousands
    // of devices needs more descriptors than the usual soft limit, and the
    // reactor's poll() takes any number.
    RaiseOpenFileLimit();
    SetAppPrefsDoc(&fPrefs);
    InstallDeviceHooks();
    CKvsMonPrefRec::Create();
    LoadPrefs();
    fPrefs.AddListener(this, OnPrefChange);
    fWatch.Update();
    CViewPrefs::Instance().Attach(Prefs()->GetChild(PrefF::vwpf));
    fDoc = std::make_unique<CKvsDevDoc>(this, Prefs()->GetChild(PrefF::devc), view);
}

CKvsApp::~CKvsApp() {
    fSpdCalc.reset();
    fDoc.reset();
    SavePrefs();
    CViewPrefs::Instance().Attach(nullptr);
    fPrefs.RemoveListener(this, OnPrefChange);
    CKvsMonPrefRec::Dispose();
    SetAppPrefsDoc(nullptr);
}

CMainLoopBase* NewKvsApp() {
    return new CKvsApp;
}

// ---- preferences

void CKvsApp::LoadPrefs() {
    MAppPrefStore& store = AppPrefStore();
    if (CPrefNode* node = store.OpenPrefs(false)) {
        ReadFromPrefNode(*node, Prefs());
        store.ClosePrefs(node, false);
    }
    fKeys.LoadFrom(Prefs(), PrefF::mnky);
}

void CKvsApp::SavePrefs() {
    fKeys.SaveTo(Prefs(), PrefF::mnky);
    TrimDocs(Prefs());
    MAppPrefStore& store = AppPrefStore();
    if (CPrefNode* node = store.OpenPrefs(true)) {
        WriteToPrefNode(*node, Prefs());
        store.ClosePrefs(node, true);
    }
}

void CKvsApp::TrimDocs(CRecord* root) {
    u32 i = 0;
    while (i < root->GetListCount(PrefF::docs)) {
        CRecord* entry = root->GetListItem(PrefF::docs, i);
        if (entry->GetU8(PrdcF::work) != 0) {
            entry->SetU8(nullptr, PrdcF::lsto, 1);
            ++i;
            continue;
        }
        entry->SetU8(nullptr, PrdcF::lsto, 0);
        const LString& spec = entry->GetString(PrdcF::fspc);
        bool drop = i >= kDocsLimit || spec.IsEmpty();
        for (u32 j = i; !drop && j-- > 0;)
            drop = root->GetListItem(PrefF::docs, j)->GetString(PrdcF::fspc) == spec;
        if (drop)
            root->RemoveItem(nullptr, PrefF::docs, i);
        else
            ++i;
    }
}

CRecord* CKvsApp::TouchRecent(CRecordDoc* prefs, u32 serial) {
    CRecord* root = prefs ? prefs->Root() : nullptr;
    if (!root) return nullptr;
    const u32 n = root->GetListCount(PrefF::mdis);
    for (u32 i = 0; i < n; ++i) {
        CRecord* entry = root->GetListItem(PrefF::mdis, i);
        if (entry->GetU32(MdisF::sern) != serial) continue;
        // The entry itself: a listener told of the move or of the insertion
        // below may bring another device's entry to the front meanwhile.
        if (i != 0) root->MoveItem(nullptr, PrefF::mdis, i, 0);
        return entry;
    }
    // The oldest go first, but never one an open editor still works on.
    for (u32 i = root->GetListCount(PrefF::mdis);
         i-- > 0 && root->GetListCount(PrefF::mdis) > kRecentLimit;)
        if (!IsMediaIndexHeld(root->GetListItem(PrefF::mdis, i)))
            root->RemoveItem(nullptr, PrefF::mdis, i);
    const CRecordSchema* schema = CRecordSchema::Find(kFamKvs, kKindMdis);
    CRecord* entry = schema ? CRecord::New(schema) : nullptr;
    if (!entry) return nullptr;
    entry->SetU32(nullptr, MdisF::sern, serial);
    if (!root->InsertItem(nullptr, PrefF::mdis, 0, entry)) return nullptr;
    return entry;
}

// ---- the chosen network interface

LString CKvsApp::ChosenInterfaceName() {
    return Prefs() ? Prefs()->GetString(PrefF::ntif) : LString();
}

void CKvsApp::AddChangeListener(void* object, ChangeFn fn) {
    fNetListeners.emplace_back(object, fn);
}

void CKvsApp::RemoveChangeListener(void* object, ChangeFn fn) {
    std::erase(fNetListeners, std::make_pair(object, fn));
}

void CKvsApp::OnPrefChange(void* self, CRecordNote* note) {
    CKvsApp* app = static_cast<CKvsApp*>(self);
    if (note->kind != CRecordNote::kChanged || note->record != app->Prefs() ||
        note->field != PrefF::ntif)
        return;
    const auto listeners = app->fNetListeners;
    for (const auto& [object, fn] : listeners) fn(object);
}

void CKvsApp::RebuildNetMenu(LMenuBar* bar) {
    LMenu* menu = bar ? bar->FindMenu(kNetMenu) : nullptr;
    if (!menu) return;
    while (menu->CountItems() > 2) menu->RemoveItemAt(2);
    CIfAddrList list;
    u32 lastIndex = 0;
    bool any = false;
    while (list.Next()) {
        const u32 flags = list.Flags();
        if (!list.IsIPv4() || !(flags & kIfRunning) ||
            (flags & (kIfLoopback | kIfPointToPoint | kIfPromisc)))
            continue;
        if (any && list.GetIndex() == lastIndex) continue;
        any = true;
        lastIndex = list.GetIndex();
        LMenuItem* item = new LMenuItem(menu);
        item->fTitle = list.GetDisplayName();
        item->fResTitle = item->fTitle;
        item->SetCommand(kCmdNetSel);
        menu->AppendItem(item);
    }
}

void CKvsApp::Terminate() {
    if (fRunLoop) fRunLoop->Terminate();
}

// ---- messages

LMessage CKvsApp::HandleMessage(const LMessage& msg) {
    if (fKeys.HandleMessage(msg)) return LMessage();
    if (msg.Is(LMenuBar_Ready) && msg.source) {
        LMenuBar* bar = static_cast<LMenuBar*>(msg.source);
        bar->EnableCommand(LStdCmd_Quit);
        bar->EnableCommand(LStdCmd_MenuKey);
        RebuildNetMenu(bar);
        bar->EnableCommand(kCmdNetDef);
        bar->EnableCommand(kCmdNetSel);
        bar->EnableCommand(kCmdSpdCalc);
        const LString chosen = ChosenInterfaceName();
        if (chosen.IsEmpty())
            bar->CheckCommand(kCmdNetDef);
        else
            bar->CheckCommand(kCmdNetSel, chosen);
    } else if (msg.Is(LMenuItem_Selected) && msg.source) {
        LMenuItem* item = static_cast<LMenuItem*>(msg.source);
        if (item->HasCommand(LStdCmd_Quit)) {
            Terminate();
            return LMessage();
        }
        if (item->HasCommand(LStdCmd_MenuKey)) {
            fKeys.Arm();
            return LMessage();
        }
        if (item->HasCommand(kCmdSpdCalc)) {
            if (!fSpdCalc) fSpdCalc = std::make_unique<CKvsSpdCalcDlg>(this);
            fSpdCalc->ShowWindow();
            return LMessage();
        }
        if (item->HasCommand(kCmdNetDef)) {
            Prefs()->SetString(nullptr, PrefF::ntif, LString());
            return LMessage();
        }
        if (item->HasCommand(kCmdNetSel)) {
            Prefs()->SetString(nullptr, PrefF::ntif, item->fTitle);
            return LMessage();
        }
    } else if (msg.Is(CExtCmd_Open)) {
        return LMessage();
    } else if (fDoc && msg.source == fDoc.get()) {
        if (msg.Is(CKvsDevDoc_Close)) {
            // The settings still on their way were waited for, or given up by
            // the user, when the document was asked (CanClose).
            SavePrefs();
            Terminate();
            return LMessage();
        }
    } else if (msg.Is(CMainLoopBase_Quit) && msg.source == fRunLoop) {
        if (fRunLoop->fEndForced) {
            if (fDoc) fDoc->PrepareForcedEnd();
        } else if (fDoc && !fDoc->CanClose()) {
            // The session ended while a question of this quit was up: the
            // question went unanswered, and what it asked about goes now.
            if (!fRunLoop->fEndForced) return LMessage();
            fDoc->PrepareForcedEnd();
        }
        // A setting stored last (a field's edit ended by the quit) is still on
        // its way to the device: at a forced end nobody can be asked, and it
        // gets a short while without a window. A quit asked the user instead
        // (CanClose), under a window that said so.
        if (fDoc && fRunLoop->fEndForced) fDoc->WaitSettingsSent(kSettingsSentIdleMs);
        // Written once more as the windows go (their places); written now, a
        // store that cannot take them is said while a window can still say it.
        if (!fRunLoop->fEndForced) SavePrefs();
    }
    return CMainLoopBase::HandleMessage(msg);
}
