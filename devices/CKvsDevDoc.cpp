#include "devices/CKvsDevDoc.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "devlink/AnswerLimits.h"
#include "base/Clock.h"
#include "devices/CKvsDevWin.h"
#include "devices/CKvsUploads.h"
#include "devices/DevSearchStatus.h"
#include "devices/DevCommands.h"
#include "devices/monitors/CKvsNetMon.h"
#include "devlink/NetIf.h"
#include "devlink/ReqQueue.h"
#include "framework/LFrame.h"
#include "framework/LListPane.h"
#include "framework/LMenu.h"
#include "services/GraphicsServices.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PropRecord.h"

namespace {

constexpr const char* kCmdRefresh = "cSetnRefr";
constexpr u32 kBroadcast = 0xFFFFFFFFu;

u32 NowMs() {
    return GraphicsServices().NowMs();
}

}  // namespace

bool ParseDeviceSerial(const char* text, u16* serial) {
    if (!text || !*text) return false;
    u32 value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + u32(*p - '0');
        if (value > 65535) return false;
    }
    if (value == 0) return false;
    *serial = u16(value);
    return true;
}

CKvsDevDoc::CKvsDevDoc(LHandler* app, CRecord* prefs, MKvsDevView* view)
    : LHandler(app),
      fPollTarget(LNetAddr::IPv4(kBroadcast, kTftpPort)),
      fPrefs(prefs),
      fTftp(MainRunLoopWakeSource(), 1),
      fPollTimer(this),
      fView(view) {
    // A peer of the poll that goes silent would otherwise hold every next poll for
    // the receiver's usual 20 s, device list and open windows standing still.
    fTftp.Times().receiverIdleMs = kPollPeerIdleMs;
    fCommands = std::make_unique<CKvsDevCommands>(this);
    fNetMon = std::make_unique<CKvsNetMon>(this, CKvsNetMon::sDocPort, CKvsNetMon::sDocName);
    if (!fView) {
        fView = NewKvsDevWindow(this);
        fOwnsView = true;
    }
    if (fPrefs) {
        const LRect r = fPrefs->GetRectFromArray(PrdvF::wplc);
        if (r.left < r.right && r.top < r.bottom) fView->PlaceWindow(r);
    }
    fSet.AddChangeListener(this, OnDeviceChange);
    StartRefresh();
    fAppPrefs = AppPrefsDoc();
    if (fAppPrefs) {
        fAppPrefs->AddListener(this, OnAppPrefChange);
        if (CRecord* root = fAppPrefs->Root()) fNetMon->SetEnabled(root->GetU8(PrefF::usnm) != 0);
    }
}

CKvsDevDoc::~CKvsDevDoc() {
    fSet.RemoveChangeListener(this, OnDeviceChange);
    if (fAppPrefs) fAppPrefs->RemoveListener(this, OnAppPrefChange);
    if (fPoll) {
        CTftpSession* poll = fPoll;
        fPoll = nullptr;
        fTftp.Release(poll);
    }
    fPollTimer.Stop();
    if (fPrefs) fPrefs->SetRectToArray(nullptr, PrdvF::wplc, fView->WindowBounds());
    if (fOwnsView) delete fView;
    fView = nullptr;
    for (size_t i = fControllers.size(); i-- > 0;) delete fControllers[i];
    fControllers.clear();
    fBySerial.clear();
}

void CKvsDevDoc::StartRefresh() {
    fRefresh = kRefreshing;
    fPass = 0;
    fSet.MarkAllNotSeen();
    // A search already under way counts as the first pass: the bar moves now,
    // not when it ends.
    if (fPoll) fView->SetRefreshProgress(((fPass + 1) * kProgressMax) / 3);
    StartPoll();
}

void CKvsDevDoc::StartPoll() {
    if (fPoll) return;
    fPollStart = NowMs();
    fPollTimer.Stop();
    fPoll = fTftp.StartTransfer(fPollTarget, false, "/.cmd/udkvtstat", this, OnPoll,
                                CLocalAddrWatch::Current());
    fPoll->AddOption("serno", "0");
    fPoll->SetPeerRound(kPollRoundMs);
    fPoll->Start();
    // A search that could not leave is said at once: the session's resends
    // would keep the bar standing for seconds before it ends with the error.
    if (fPoll && fPoll->SendErrno() != 0) {
        PollDone();
        return;
    }
    fView->SetRefreshProgress(fRefresh == kRefreshing ? ((fPass + 1) * kProgressMax) / 3 : 0);
}

void CKvsDevDoc::OnPoll(void* self, u32 event, void* object) {
    CKvsDevDoc* doc = static_cast<CKvsDevDoc*>(self);
    switch (event) {
        case kTftpEventPeerNew:
            static_cast<CTftpPeer*>(object)->Accept(new CGrowMemStrm(kStatusAnswerLimit));
            break;
        case kTftpEventPeerDone: {
            CTftpPeer* peer = static_cast<CTftpPeer*>(object);
            if (peer->Result() == CTftpPeer::kResultDone) doc->HandleReply(peer);
            break;
        }
        case kTftpEventSessionDone:
            doc->PollDone();
            break;
        default:
            break;
    }
}

void CKvsDevDoc::PollDone() {
    CTftpSession* poll = fPoll;
    fPoll = nullptr;
    const i32 sendErrno = poll ? poll->SendErrno() : 0;
    if (poll) fTftp.Release(poll);
    fView->SetStatusText(SearchStatusText(sendErrno, CLocalAddrWatch::Current(), fSet.Count()));
    if (fRefresh == kRefreshing) {
        if (fPass == 0) {
            fPass = 1;
            fView->SetRefreshProgress(((fPass + 1) * kProgressMax) / 3);
        } else {
            fSet.RemoveNotSeen();
            fRefresh = kSteady;
            fView->SetRefreshProgress(0);
        }
    } else {
        fView->SetRefreshProgress(0);
    }
    u32 wait = kPollPeriodIdleMs;
    if (fRefresh == kRefreshing || fView->SelectedRow() >= 0) {
        const u32 since = NowMs() - fPollStart;
        wait = since >= kPollPeriodSelectedMs ? 0 : kPollPeriodSelectedMs - since;
    }
    fPollTimer.Start(wait);
}

void CKvsDevDoc::HandleReply(CTftpPeer* peer) {
    const LString* value = peer->Option("serno");
    if (!value) return;
    u16 serial = 0;
    // 70000 or "12ab" would otherwise be read as another device or as no device.
    if (!ParseDeviceSerial(value->CStr(), &serial)) return;
    const u32 before = fSet.Count();
    CRecord* device = fSet.Find(serial);
    if (device)
        device->SetU8(nullptr, DevcF::notSeen, 0);
    else
        device = fSet.Add(serial);
    if (!device) return;
    if (!peer->Address().IsIPv6())
        device->SetU32(nullptr, DevcF::address, peer->Address().IPv4Address());
    CKvsDevCtl* ctl = FindOrCreateController(serial);
    CStrm* body = peer->Data();
    // A state cut short is not applied: the next poll brings it whole.
    if (ctl && body && body->Position() > 0 && PropRecord::ReplyWhole(body))
        PropRecord::ReadInto(body, ctl->State(), false);
    if (before == 0) fView->SelectRow(0);
}

void CKvsDevDoc::OnDeviceChange(void* self, CRecordNote* note) {
    CKvsDevDoc* doc = static_cast<CKvsDevDoc*>(self);
    if (note->kind != CRecordNote::kChanged || note->field != DevcF::address) return;
    if (!note->record || note->record->Kind() != kKindDevc) return;
    if (CKvsDevCtl* ctl = doc->FindController(u16(note->record->GetU32(DevcF::serial))))
        ctl->SettingsChannel().Refresh();
}

void CKvsDevDoc::OnAppPrefChange(void* self, CRecordNote* note) {
    CKvsDevDoc* doc = static_cast<CKvsDevDoc*>(self);
    if (note->kind != CRecordNote::kChanged || note->field != PrefF::usnm) return;
    if (!note->record || note->record != doc->fAppPrefs->Root()) return;
    doc->fNetMon->SetEnabled(note->record->GetU8(PrefF::usnm) != 0);
}

bool CKvsDevDoc::AnyControlWindowShown() const {
    for (CKvsDevCtl* c : fControllers)
        if (c->WindowShown()) return true;
    return false;
}

bool CKvsDevDoc::CanClose() {
    for (size_t i = fControllers.size(); i-- > 0;)
        if (!fControllers[i]->CanClose(true)) return false;
    return true;
}

void CKvsDevDoc::PrepareForcedEnd() {
    for (CKvsDevCtl* c : fControllers)
        if (c->Uploads()) c->Uploads()->Cancel();
    // Refusals do not count now; what they would have sent first does.
    for (size_t i = fControllers.size(); i-- > 0;) fControllers[i]->CanClose(true);
}

bool CKvsDevDoc::WaitSettingsSent(u32 idleLimitMs) {
    auto busy = [](CKvsDevCtl* c) {
        return c->SettingsChannel().IsBusy() || c->CommandChannel().IsBusy();
    };
    // By controller, not by place: the modal turns below still hear the poll, so
    // a device first seen meanwhile adds a controller (one that is new counts
    // as moving on).
    std::unordered_map<const CKvsDevCtl*, u32> status;
    for (CKvsDevCtl* c : fControllers) status[c] = c->ChannelQueue().CurrentStatus();
    u32 since = LTickMs();
    for (;;) {
        bool any = false;
        for (CKvsDevCtl* c : fControllers) {
            if (!busy(c)) continue;
            any = true;
            const u32 now = c->ChannelQueue().CurrentStatus();
            const auto [it, fresh] = status.try_emplace(c, now);
            if (fresh || it->second != now) {
                it->second = now;
                since = LTickMs();
            }
        }
        if (!any) return true;
        if (LTickMs() - since >= idleLimitMs) {
            // Away: the end of edit mode as the windows close waits no more for it.
            for (CKvsDevCtl* c : fControllers)
                if (busy(c)) c->SetLeftWithoutDevice(true);
            return false;
        }
        Send(LHandler_Mode, this, fParent);
    }
}

CKvsDevCtl* CKvsDevDoc::SelectedController() {
    const i32 row = fView->SelectedRow();
    if (row < 0 || u32(row) >= fSet.Count()) return nullptr;
    return FindController(u16(fSet.At(u32(row))->GetU32(DevcF::serial)));
}

CKvsDevCtl* CKvsDevDoc::FindController(u16 serial) const {
    if (serial != 0) {
        const auto it = fBySerial.find(serial);
        return it == fBySerial.end() ? nullptr : it->second;
    }
    // Play-settings files: the first of them.
    for (CKvsDevCtl* c : fControllers)
        if (u16(c->Serial()) == 0) return c;
    return nullptr;
}

CKvsDevCtl* CKvsDevDoc::AddFileController() {
    CKvsDevCtl* c = new CKvsDevCtl(this, &fSet, 0);
    fControllers.push_back(c);
    return c;
}

void CKvsDevDoc::DropFileController(CKvsDevCtl* ctl) {
    if (!ctl || ctl->Serial() != 0) return;
    const auto it = std::find(fControllers.begin(), fControllers.end(), ctl);
    if (it == fControllers.end()) return;
    fControllers.erase(it);
    delete ctl;
}

CKvsDevCtl* CKvsDevDoc::FindOrCreateController(u16 serial) {
    if (CKvsDevCtl* c = FindController(serial)) return c;
    CKvsDevCtl* c = new CKvsDevCtl(this, &fSet, serial);
    c->SetNetMon(fNetMon.get());
    fControllers.push_back(c);
    if (serial != 0) fBySerial.emplace(serial, c);
    return c;
}

void CKvsDevDoc::RefreshAllSettings() {
    for (CKvsDevCtl* c : fControllers) c->SettingsChannel().Refresh();
}

void CKvsDevDoc::ShowSelected() {
    if (CKvsDevCtl* ctl = SelectedController())
        fView->ShowDevice(u16(ctl->Serial()), ctl->SettingsKnown() ? ctl->Settings() : nullptr,
                          ctl->State());
    else
        fView->ShowDevice(0, nullptr, nullptr);
}

LMessage CKvsDevDoc::HandleMessage(const LMessage& msg) {
    if (msg.Is(LTimer_Expire) && msg.source == &fPollTimer) {
        StartPoll();
        return LMessage();
    }
    if (msg.Is(CKvsNetMon_Change) && msg.source == fNetMon.get()) {
        for (CKvsDevCtl* c : fControllers) c->NetMonChanged();
        return LMessage();
    }
    // The controllers go after the view: what their windows report while they
    // are taken down only passes on.
    if (!fView) return LHandler::HandleMessage(msg);
    if (msg.Is(LMenuBar_Ready) && msg.source) {
        static_cast<LMenuBar*>(msg.source)->EnableCommand(kCmdRefresh);
        fCommands->Enable(static_cast<LMenuBar*>(msg.source));
    } else if (msg.Is(LMenuItem_Selected) && msg.source) {
        if (fCommands->Run(static_cast<LMenuItem*>(msg.source))) return LMessage();
        if (static_cast<LMenuItem*>(msg.source)->HasCommand(kCmdRefresh)) {
            StartRefresh();
            return LMessage();
        }
    } else if (msg.Is(LFrame_Close) && msg.source == fView->WindowHandler()) {
        // The program ends with this window: as a Quit does, what is being typed
        // anywhere is stored before the controllers are asked.
        LFrame::EndOpenEditsOfAllWindows();
        if (CanClose()) Send(CKvsDevDoc_Close, this, fParent);
        return LMessage();
    } else if (msg.Is(CKvsDevList_DblClk) && msg.source == fView->ListHandler()) {
        if (CKvsDevCtl* ctl = SelectedController()) ctl->ShowWindow();
        return LMessage();
    } else if (msg.Is(LListPane_SelChange) && msg.source == fView->ListHandler()) {
        ShowSelected();
    } else if (msg.Is(CKvsDevCtl_SettingsRead)) {
        if (msg.source && msg.source == SelectedController()) ShowSelected();
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}
