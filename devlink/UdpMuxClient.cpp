// The client of the shared port lives apart from the server: it needs the main
// run loop, the server does not.

#include <algorithm>
#include <cstring>

#include "devlink/UdpMux.h"
#include "services/RunLoop.h"

CUdpMuxClient::CUdpMuxClient(void* context, LUdpMuxStateFn callback, u16 port, const char* name)
    : fContext(context), fCallback(callback), fPort(port), fName(name) {
    fSource = CRunLoopSrc::New(this, OnSource);
    fChannel = new CFrameChannel(this, OnChannel);
}

CUdpMuxClient::~CUdpMuxClient() {
    delete fChannel;
    fServer.Stop();
    delete fSource;
}

void CUdpMuxClient::Open() {
    fClosed.store(0, std::memory_order_release);
    Connect();
}

void CUdpMuxClient::OnSource(void* self) {
    static_cast<CUdpMuxClient*>(self)->Connect();
}

void CUdpMuxClient::Connect() {
    if (fClosed.load() || fConnected.load()) return;
    fChannel->Close();
    // The owner of the port may be going away at this very moment (its port still
    // bound, its name already gone): a few rounds let one of us take over.
    u32 r = 1;
    for (u32 round = 0; round < 3 && r == 1; ++round) {
        fServer.Start(fPort, fName.CStr());
        r = fChannel->Stream().Connect(fName.CStr());
    }
    if (r == 2) return;  // the writable callback finishes it
    if (r == 1) {
        fClosed.store(1, std::memory_order_release);
        if (fCallback) fCallback(fContext, 2);
        return;
    }
    fConnected.store(1, std::memory_order_release);
    if (fCallback) fCallback(fContext, 1);
    // Datagrams may already be on their way: watch for them.
    LNetAddr from;
    const u8* p;
    if (fChannel->ReadFrame(&from, &p) != 0 && fCallback) fCallback(fContext, 0);
}

void CUdpMuxClient::OnChannel(void* self, u32 direction) {
    auto* c = static_cast<CUdpMuxClient*>(self);
    if (direction == 1 && !c->fConnected.load()) {
        if (c->fChannel->Stream().State() != CLocalStream::kConnected) {
            c->fClosed.store(1, std::memory_order_release);
            if (c->fCallback) c->fCallback(c->fContext, 2);
            return;
        }
        c->fClosed.store(0, std::memory_order_release);
        c->fConnected.store(1, std::memory_order_release);
    }
    if (c->fCallback) c->fCallback(c->fContext, direction == 1 ? 1 : 0);
}

i32 CUdpMuxClient::Receive(LNetAddr* from, void* buffer, u32 size) {
    if (!fConnected.load(std::memory_order_acquire)) return -1;
    const u8* payload;
    const i32 n = fChannel->ReadFrame(from, &payload);
    if (n < 0) {
        fConnected.store(0, std::memory_order_release);
        fSource->Signal();
        return -1;
    }
    if (n == 0) return 0;
    const u32 copy = std::min(u32(n), size);
    std::memcpy(buffer, payload, copy);
    fChannel->Consume();
    return i32(copy);
}

void CUdpMuxClient::Close() {
    fConnected.store(0, std::memory_order_release);
    fChannel->Close();
    fServer.Stop();
    fClosed.store(1, std::memory_order_release);
}
