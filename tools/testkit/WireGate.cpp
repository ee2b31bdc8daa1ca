#include "tools/testkit/WireGate.h"

#include "tools/simdevice/WireCount.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace testtftp {

namespace {

struct Entry {
    simdev::WireCount* shared;
    std::set<uint32_t> ips;
    uint64_t sent = 0, received = 0;
    // Given up for lost, so that later waits do not wait for them again.
    uint64_t lostSent = 0, lostReceived = 0;
    // The device's last publication seen, and when it changed: one that has not
    // turned its loop for seconds has stopped (killed by its test) and owes nothing.
    uint64_t seq = 0;
    std::chrono::steady_clock::time_point seqAt = std::chrono::steady_clock::now();
};

// Entries are few and looked up for every datagram: a lock is cheap enough.
std::mutex gMutex;
std::vector<std::unique_ptr<Entry>> gEntries;
uint64_t gClock = 0;  // as WireCount::clock: ms + 1, 0 for none
// Times the clock was held back, and their notice (under gMutex).
uint64_t gHeldBack = 0;
std::condition_variable gHeldBackChanged;

Entry* FindLocked(uint32_t ip) {
    for (auto& e : gEntries)
        if (e->ips.count(ip)) return e.get();
    return nullptr;
}

struct Snapshot {
    uint64_t seq, in, out, refused, pending, idle, wake;
};

Snapshot Read(const simdev::WireCount& w) {
    // A device killed while writing leaves the count odd: read what is there then.
    for (int tries = 0;; ++tries) {
        // Sequentially consistent loads (as the device's stores): the second
        // reading of seq cannot pass the fields.
        const uint64_t before = w.seq.load();
        if (!(before & 1) || tries > 100000) {
            Snapshot s{before,           w.in.load(),   w.out.load(), w.refused.load(),
                       w.pending.load(), w.idle.load(), w.wake.load()};
            if (w.seq.load() == before) return s;
        }
        std::this_thread::yield();
    }
}

bool Debug() {
    static const bool on = std::getenv("KEVO_WIRE_DEBUG") != nullptr;
    return on;
}

}  // namespace

void WireGate::NoteSent(uint32_t ip) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (Entry* e = FindLocked(ip)) ++e->sent;
}

void WireGate::NoteReceived(uint32_t ip) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (Entry* e = FindLocked(ip)) ++e->received;
}

void* WireGate::Add(simdev::WireCount* shared) {
    std::lock_guard<std::mutex> lock(gMutex);
    gEntries.push_back(std::make_unique<Entry>());
    gEntries.back()->shared = shared;
    shared->clock.store(gClock, std::memory_order_release);
    return gEntries.back().get();
}

void WireGate::SetClock(uint64_t ms) {
    std::lock_guard<std::mutex> lock(gMutex);
    gClock = ms + 1;
    for (auto& e : gEntries) e->shared->clock.store(gClock, std::memory_order_release);
}

void WireGate::ClearClock() {
    std::lock_guard<std::mutex> lock(gMutex);
    gClock = 0;
    for (auto& e : gEntries) e->shared->clock.store(0, std::memory_order_release);
}

bool WireGate::NextWake(uint64_t* inMs) {
    std::lock_guard<std::mutex> lock(gMutex);
    bool any = false;
    for (auto& e : gEntries) {
        const uint64_t wake = Read(*e->shared).wake;
        if (!wake || !gClock) continue;
        const uint64_t in = wake > gClock ? wake - gClock : 0;
        if (!any || in < *inMs) *inMs = in;
        any = true;
    }
    return any;
}

void WireGate::AddAddress(void* sim, uint32_t ip) {
    std::lock_guard<std::mutex> lock(gMutex);
    static_cast<Entry*>(sim)->ips.insert(ip);
}

void WireGate::Remove(void* sim) {
    std::lock_guard<std::mutex> lock(gMutex);
    gEntries.erase(std::remove_if(gEntries.begin(), gEntries.end(),
                                  [&](const auto& e) { return e.get() == sim; }),
                   gEntries.end());
}

WireGate::WireGate() : fStart(std::chrono::steady_clock::now()) {}

bool WireGate::Quiet(bool theirs) {
    std::lock_guard<std::mutex> lock(gMutex);
    const auto now = std::chrono::steady_clock::now();
    bool quiet = true;
    for (auto& e : gEntries) {
        // Ours first, then the device's, then what came back: each comparison then
        // sets a count against one made after it.
        const uint64_t sent = e->sent;
        const Snapshot s = Read(*e->shared);
        const uint64_t received = e->received;
        // The answers that reached a socket: the system tells the device of the others.
        const uint64_t out = s.out - std::min(s.out, s.refused);
        Missing& m = fMissing[e.get()];
        if (s.seq != e->seq) e->seq = s.seq, e->seqAt = now;
        if (now - e->seqAt >= std::chrono::seconds(3)) {
            e->lostSent = sent > s.in ? sent - s.in : 0;
            e->lostReceived = out > received ? out - received : 0;
            continue;
        }
        // A pause over on our clock that the device has not ended yet is work in hand.
        if (s.pending || (s.wake && gClock && s.wake <= gClock)) {
            // Held back on purpose (a link delay, a delay fault): it comes, however late.
            if (now - fStart < std::chrono::seconds(60)) quiet = false;
            continue;
        }
        if (s.in + e->lostSent < sent) {
            // The device has not taken it in. While it runs late, it will; once it
            // has slept twice with nothing to read since we first saw it missing, the
            // datagram went to no socket of its.
            if (!m.sent) m.sent = sent, m.idle = s.idle;
            if (s.idle < m.idle + 2) {
                quiet = false;
            } else {
                if (s.in + e->lostSent < m.sent) {
                    if (Debug())
                        std::fprintf(stderr, "wire: %llu sent to no socket of the device\n",
                                     static_cast<unsigned long long>(m.sent - s.in - e->lostSent));
                    e->lostSent = m.sent - s.in;
                }
                m.sent = 0;
                quiet = quiet && s.in + e->lostSent >= sent;
            }
        } else {
            m.sent = 0;
        }
        if (!theirs) continue;
        if (received + e->lostReceived < out) {
            // One to an open socket is taken in as soon as this process runs its
            // loop; one to a socket closed meanwhile never arrives, and when the
            // system did not say so (it limits how often), it is given up in time.
            if (!m.out) m.out = out, m.outAt = now;
            if (now - m.outAt < std::chrono::seconds(1)) {
                quiet = false;
            } else {
                if (received + e->lostReceived < m.out) {
                    if (Debug())
                        std::fprintf(
                            stderr, "wire: %llu answers not taken in\n",
                            static_cast<unsigned long long>(m.out - received - e->lostReceived));
                    e->lostReceived = m.out - received;
                }
                m.out = 0;
                quiet = quiet && received + e->lostReceived >= out;
            }
        } else {
            m.out = 0;
        }
    }
    if (!quiet) {
        ++gHeldBack;
        gHeldBackChanged.notify_all();
    }
    return quiet;
}

uint64_t WireGate::HeldBack() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gHeldBack;
}

bool WireGate::AwaitHeldBack(uint64_t count, std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(gMutex);
    return gHeldBackChanged.wait_for(lock, bound, [&] { return gHeldBack >= count; });
}

}  // namespace testtftp
