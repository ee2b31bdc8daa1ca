#pragma once
// The device link's socket calls, counting for the wire gate (tools/testkit/
// WireGate.h) what this process sends to its simulated devices on loopback and
// takes in from them. The virtual run loop installs one for its lifetime; a test's
// own replacements derive from it, so that they count too, and put back the one
// they replaced.

#include "devlink/UdpSocket.h"

class WireCountingCalls : public LUdpSysCalls {
public:
    // under: below those installed already (the loop's own, made after a test's).
    explicit WireCountingCalls(bool under = false);
    ~WireCountingCalls() override;
    WireCountingCalls(const WireCountingCalls&) = delete;
    WireCountingCalls& operator=(const WireCountingCalls&) = delete;

    long SendTo(int fd, const void* data, u32 length, const void* to, u32 toLength) override;
    long RecvFrom(int fd, void* buffer, u32 size, void* from, u32* fromLength) override;
    long RecvMsg(int fd, void* msg) override;
};
