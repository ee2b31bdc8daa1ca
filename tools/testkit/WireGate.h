#pragma once
// Whether anything is on its way between this process and the simulated devices
// it started on loopback, or still in their hands. The devices answer in real
// time; a test's clock is virtual, and moved while a device that a loaded machine
// runs late still owes an answer, it makes the device look silent. The devices
// count what they took in (once handled) and sent in memory shared with this
// process (SimDeviceProcess); this process counts what it sent to their
// addresses and took in from them (NoteSent, NoteReceived, called from the
// socket calls of the code under test).

#include <chrono>
#include <cstdint>
#include <map>

namespace simdev {
struct WireCount;
}

namespace testtftp {

class WireGate {
public:
    // ip: IPv4, host order. Datagrams with addresses of no device are not counted.
    static void NoteSent(uint32_t ip);
    static void NoteReceived(uint32_t ip);

    // The devices of one kvsimdev: its shared counts and the addresses it serves.
    static void* Add(simdev::WireCount* shared);
    static void AddAddress(void* sim, uint32_t ip);
    static void Remove(void* sim);

    // The test's virtual clock, in ms from any start, shared with the devices: a
    // device that pauses (a slow card) pauses that long on it. None: they pause
    // in real time.
    static void SetClock(uint64_t ms);
    static void ClearClock();
    // How far the clock may move before a device goes on from a pause, in ms;
    // false when none is paused.
    static bool NextWake(uint64_t* inMs);

    // How often a wait for quiet found something on its way (the clock held
    // back), and a wait of at most bound until that count reaches count.
    static uint64_t HeldBack();
    static bool AwaitHeldBack(uint64_t count, std::chrono::milliseconds bound);

    // One wait for quiet: made when the caller wants to move the clock.
    WireGate();
    // True once every datagram sent has been handled by its device, every answer
    // taken in here, and no device holds a delayed one. A datagram the device did
    // not take in although it slept twice since (sent to a port no socket has) is
    // given up for lost; one this process did not take in within a second (sent
    // to a socket closed meanwhile) too. ours: only what this process sent.
    bool Quiet(bool theirs = true);

private:
    // A device's counts when something was first seen missing: only what was
    // missing then is given up.
    struct Missing {
        uint64_t sent = 0, idle = 0;  // sent: 0 while nothing is missing
        uint64_t out = 0;
        std::chrono::steady_clock::time_point outAt;
    };
    std::chrono::steady_clock::time_point fStart;
    std::map<const void*, Missing> fMissing;
};

}  // namespace testtftp
