#pragma once
// What kvsimdev tells the test that started it about the datagrams it handles,
// through a block of memory the two share (--wire-fd). A test on a virtual clock
// moves the clock only while nothing is on its way or in a device's hands: the
// devices answer in real time, and a loaded machine may run them late.

#include <atomic>
#include <cstdint>

namespace simdev {

struct WireCount {
    // Odd while the device writes the fields below: a reader takes them only
    // between two equal, even values.
    std::atomic<uint64_t> seq{0};
    // Datagrams taken in from peers on loopback whose handling is over, answers sent.
    std::atomic<uint64_t> in{0};
    // Datagrams sent to peers on loopback.
    std::atomic<uint64_t> out{0};
    // Of those, the ones the system reported as sent to a port nobody had.
    std::atomic<uint64_t> refused{0};
    // Datagrams handled or sent later by the device's own choice (a link delay,
    // a delay or reorder fault, a spread answer): still in its hands.
    std::atomic<uint64_t> pending{0};
    // The test's virtual clock in ms, plus 1 (0: none, the device pauses on its
    // own). Written by the test.
    std::atomic<uint64_t> clock{0};
    // On that clock, when the earliest pause of a device ends (0: none paused):
    // the test moves its clock no further before the device has gone on.
    std::atomic<uint64_t> wake{0};
    // Times the device went to sleep with nothing to read: a datagram sent before
    // the second of two such sleeps and not taken in never reached a socket.
    std::atomic<uint64_t> idle{0};
};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "shared between processes");

}  // namespace simdev
