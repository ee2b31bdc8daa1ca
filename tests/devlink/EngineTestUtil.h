#pragma once
// Shared pieces of the transfer-engine tests: the run loop, streams with
// injectable failures, and a recorder of session callbacks.

#include <net/if.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "base/CStrm.h"
#include "devlink/Tftp.h"
#include "platform/RunLoop.h"
#include "platform/Services.h"

namespace enginetest {

inline void EnsureApp() {
    RunLoopMakeMain();
}

// Runs the main run loop until pred holds or timeoutMs of real time passed
// (a virtual clock stands still meanwhile); answers pred().
inline bool RunUntil(const std::function<bool()>& pred, u32 timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return pred();
        RunLoopRunOnce(5);
    }
    return true;
}

inline void RunFor(u32 ms) {
    RunUntil([] { return false; }, ms);
}

// A stream over a byte vector; fails (error 3 or 4) once failAt bytes have passed.
class VecStrm : public CStrm {
public:
    explicit VecStrm(std::vector<u8>* data, u32 mode = 0, u64 failAt = ~u64(0))
        : CStrm(mode), fData(data), fFailAt(failAt) {}
    void SetPosition(u64 position) override {
        if (!fError) fPosition = position;
    }
    void SetSize() override {
        if (!fError) fData->resize(size_t(fPosition));
    }
    void Write(const void* bytes, u64 length) override {
        if (fError) return;
        if (fMode != kModeWrite) return SetError(kErrReadOnly);
        if (fPosition + length > fFailAt) return SetError(kErrWrite);
        if (fData->size() < fPosition + length) fData->resize(size_t(fPosition + length));
        std::copy_n(static_cast<const u8*>(bytes), size_t(length),
                    fData->begin() + std::ptrdiff_t(fPosition));
        fPosition += length;
        ++writes;
    }
    void Read(void* buffer, u64* length) override {
        if (fError) {
            *length = 0;
            return;
        }
        if (fPosition + *length > fFailAt) {
            *length = 0;
            return SetError(kErrRead);
        }
        const u64 left = fPosition < fData->size() ? fData->size() - fPosition : 0;
        if (*length > left) *length = left;
        std::copy_n(fData->begin() + std::ptrdiff_t(fPosition), size_t(*length),
                    static_cast<u8*>(buffer));
        fPosition += *length;
    }
    u32 writes = 0;

private:
    std::vector<u8>* fData;
    u64 fFailAt;
};

struct Event {
    u32 event;
    void* object;
    u32 tick;
};

// Records callbacks; accepts every new peer with a stream from makeStream
// (null function: no Accept).
struct Recorder {
    std::vector<Event> events;
    std::function<CStrm*(CTftpPeer*)> makeStream;
    std::function<void(CTftpPeer*)> onNewPeer;  // before Accept (raise the window cap here)
    std::vector<u32> peerResults, peerErrors;
    std::vector<std::vector<u8>*> sinks;

    static void Callback(void* ctx, u32 event, void* object) {
        auto* r = static_cast<Recorder*>(ctx);
        r->events.push_back({event, object, LTickMs()});
        if (event == kTftpEventPeerNew) {
            auto* peer = static_cast<CTftpPeer*>(object);
            if (r->onNewPeer) r->onNewPeer(peer);
            if (r->makeStream) peer->Accept(r->makeStream(peer));
        } else if (event == kTftpEventPeerDone) {
            auto* peer = static_cast<CTftpPeer*>(object);
            r->peerResults.push_back(peer->Result());
            r->peerErrors.push_back(peer->ErrorCode());
        }
    }
    u32 Count(u32 event) const {
        u32 n = 0;
        for (const Event& e : events) n += e.event == event;
        return n;
    }
    bool Done() const { return Count(kTftpEventSessionDone) > 0; }
};

inline u32 LoopbackIndex() {
    return if_nametoindex("lo");
}

inline std::vector<u8> Pattern(size_t n, u32 seed) {
    std::vector<u8> v(n);
    u32 x = seed * 2654435761u + 1;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = u8(x);
    }
    return v;
}

}  // namespace enginetest
