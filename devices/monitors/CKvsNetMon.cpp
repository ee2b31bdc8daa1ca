#include "devices/monitors/CKvsNetMon.h"

#include <algorithm>
#include <cstring>

#include "devlink/ArtDmx.h"
#include "services/GraphicsServices.h"
#include "services/RunLoop.h"
#include "records/DeviceKinds.h"
#include "records/Universes.h"

namespace {

u32 NowMs() {
    return GraphicsServices().NowMs();
}

void ResetSlot(CKvsNetMon::Slot& s) {
    s.lastSeen = 0;
    s.sender = 0;
    s.frame.count = kDmxSlots;
    std::memset(s.frame.slots, 0, sizeof s.frame.slots);
}

CKvsNetMon::Entry* NewEntry(u16 port) {
    auto* e = new CKvsNetMon::Entry;
    e->port = port;
    for (CKvsNetMon::Slot& s : e->slots) ResetSlot(s);
    return e;
}

}  // namespace

u16 CKvsNetMon::sDocPort = kUdpMuxPort;
const char* CKvsNetMon::sDocName = kUdpMuxName;

CKvsNetMon::CKvsNetMon(LHandler* next, u16 port, const char* name)
    : LHandler(next), fExpiry(this), fChange(this) {
    fWake = CRunLoopSrc::New(this, OnWake);
    fClient = std::make_unique<CUdpMuxClient>(this, OnState, port, name);
}

CKvsNetMon::~CKvsNetMon() {
    fExpiry.Stop();
    fChange.Stop();
    // The client's reactor callbacks signal the wake source: it goes first.
    fClient.reset();
    delete fWake;
    for (Entry* e : fEntries) delete e;
}

void CKvsNetMon::OnState(void* self, u32 state) {
    // Reactor thread: only hand over to the main thread.
    if (state == 0) static_cast<CKvsNetMon*>(self)->fWake->Signal();
}

void CKvsNetMon::OnWake(void* self) {
    static_cast<CKvsNetMon*>(self)->Pump();
}

void CKvsNetMon::OpenPort() {
    fClient->Open();
}

void CKvsNetMon::ClosePort() {
    fClient->Close();
}

bool CKvsNetMon::PortConnected() {
    return fClient->IsConnected();
}

i32 CKvsNetMon::ReceivePort(u32* sender, u8* buffer, u32 size) {
    LNetAddr from;
    const i32 n = fClient->Receive(&from, buffer, size);
    *sender = n > 0 && !from.IsIPv6() ? from.IPv4Address() : 0;
    return n;
}

void CKvsNetMon::WakeAgain() {
    fWake->Signal();
}

void CKvsNetMon::SetEnabled(bool on) {
    if (u8(on) == fEnabled) return;
    fEnabled = on;
    if (!on) {
        fExpiry.Stop();
        ClosePort();
        return;
    }
    OpenPort();
    Pump();
    fExpiry.StartRepeating(kExpiryPeriodMs);
}

size_t CKvsNetMon::LowerBound(u16 port) const {
    return size_t(std::lower_bound(fEntries.begin(), fEntries.end(), port,
                                   [](const Entry* e, u16 p) { return e->port < p; }) -
                  fEntries.begin());
}

bool CKvsNetMon::Accept(const u8* bytes, u32 size, u32 sender, u32 now) {
    // Sender 0 marks a free slot: a datagram without an IPv4 sender has no place.
    ArtDmxPacket p;
    if (sender == 0 || !ParseArtDmx(bytes, size, &p)) return false;
    const size_t at = LowerBound(p.port);
    Entry* e = at < fEntries.size() && fEntries[at]->port == p.port ? fEntries[at] : nullptr;
    Slot* slot = nullptr;
    if (e) {
        for (Slot& s : e->slots)
            if (s.sender == sender) slot = &s;
        if (!slot) {
            if (e->slots[1].sender == 0)
                slot = &e->slots[1];
            else if (e->slots[0].sender == 0)
                slot = &e->slots[0];
            else
                return false;  // two others hold the universe
        }
    } else {
        e = NewEntry(p.port);
        fEntries.insert(fEntries.begin() + ptrdiff_t(at), e);
        slot = &e->slots[1];
    }
    slot->lastSeen = now;
    slot->sender = sender;
    const u32 channels = std::min(p.length, kArtDmxMaxChannels);
    slot->frame.count = u16(channels + 1);
    slot->frame.slots[0] = 0;
    std::memcpy(slot->frame.slots + 1, p.data, channels);
    std::memset(slot->frame.slots + 1 + channels, 0, kDmxSlots - 1 - channels);
    return true;
}

void CKvsNetMon::Pump() {
    u8 buffer[kMaxDatagram];
    bool accepted = false, retried = false;
    const u32 start = NowMs();
    for (;;) {
        u32 sender = 0;
        const i32 n = ReceivePort(&sender, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (retried || !fEnabled) break;
            ClosePort();
            OpenPort();
            retried = true;
            continue;
        }
        const u32 now = NowMs();
        if (Accept(buffer, u32(n), sender, now)) {
            accepted = true;
            ++fAccepted;
        }
        // A flood must not hold the main thread for good: give it back and come
        // again at the next turn; nothing waiting is dropped.
        if (now - start >= kPumpBudgetMs) {
            ++fCutPasses;
            WakeAgain();
            break;
        }
    }
    if (accepted && !fChange.IsRunning()) fChange.Start(kChangeDelayMs);
}

bool CKvsNetMon::ExpiryCheck() {
    // An open that failed (the port held by a program that does not share it)
    // would leave the monitor deaf while it shows as on: try again.
    if (fEnabled && !PortConnected()) OpenPort();
    const u32 now = NowMs();
    bool changed = false;
    for (size_t i = fEntries.size(); i-- > 0;) {
        Entry* e = fEntries[i];
        for (Slot& s : e->slots) {
            if (s.sender != 0 && now - s.lastSeen >= kSilenceMs) {
                ResetSlot(s);
                changed = true;
            }
        }
        if (e->slots[0].sender == 0 && e->slots[1].sender == 0) {
            fEntries.erase(fEntries.begin() + ptrdiff_t(i));
            delete e;
            changed = true;
        }
    }
    return changed;
}

void CKvsNetMon::RemoveSender(u32 ipv4) {
    if (ipv4 == 0) return;
    for (size_t i = fEntries.size(); i-- > 0;) {
        Entry* e = fEntries[i];
        for (Slot& s : e->slots)
            if (s.sender == ipv4) ResetSlot(s);
        if (e->slots[0].sender == 0 && e->slots[1].sender == 0) {
            fEntries.erase(fEntries.begin() + ptrdiff_t(i));
            delete e;
        }
    }
}

void CKvsNetMon::PublishUniverses(CRecord* status, u32 only, u32 excluded) {
    if (!status) return;
    u32 k = 0;
    for (const Entry* e : fEntries) {
        const Slot* q[2];
        u32 n = 0;
        for (const Slot& s : e->slots)
            if (s.sender != 0 && s.sender != excluded && (only == 0 || s.sender == only))
                q[n++] = &s;
        if (n == 0) continue;
        while (k < status->GetListCount(DrcStatF::unvs) &&
               status->GetListItem(DrcStatF::unvs, k)->GetU32(UnvsF::univ) < e->port)
            status->RemoveItem(nullptr, DrcStatF::unvs, k);
        CRecord* u = nullptr;
        if (k < status->GetListCount(DrcStatF::unvs) &&
            status->GetListItem(DrcStatF::unvs, k)->GetU32(UnvsF::univ) == e->port)
            u = status->GetListItem(DrcStatF::unvs, k);
        else
            u = FindOrAddUniverseRec(status, e->port);
        if (!u) return;
        u->SetU32(nullptr, UnvsF::host, q[0]->sender);
        if (n == 1) {
            u->SetU8(nullptr, UnvsF::hstx, 0);
            SetUniverseRecData(u, q[0]->frame.slots, q[0]->frame.count);
        } else {
            u8 merged[kDmxSlots];
            const u32 count = std::max<u32>(q[0]->frame.count, q[1]->frame.count);
            std::memcpy(merged, q[0]->frame.slots, q[0]->frame.count);
            std::memset(merged + q[0]->frame.count, 0, kDmxSlots - q[0]->frame.count);
            for (u32 c = 1; c < count; ++c)
                if (c < q[1]->frame.count) merged[c] = std::max(merged[c], q[1]->frame.slots[c]);
            u->SetU8(nullptr, UnvsF::hstx, 1);
            SetUniverseRecData(u, merged, count);
        }
        ++k;
    }
    for (u32 n = status->GetListCount(DrcStatF::unvs); n > k; --n)
        status->RemoveItem(nullptr, DrcStatF::unvs, n - 1);
}

LMessage CKvsNetMon::HandleMessage(const LMessage& msg) {
    if (msg.Is(LTimer_Expire) && msg.source == &fExpiry) {
        if (!ExpiryCheck()) return LMessage();
        return LMessage{CKvsNetMon_Change, this, fParent};
    }
    if (msg.Is(LTimer_Expire) && msg.source == &fChange)
        return LMessage{CKvsNetMon_Change, this, fParent};
    return LHandler::HandleMessage(msg);
}
