#pragma once
// A small network of namespaces for device-facing tests that must broadcast:
//   <base>-br  a bridge joining the other two,
//   <base>-app 198.18.1.2/24 (where the test's own sockets live),
//   <base>-dev 198.18.1.11/24, 198.18.1.12/24 and 198.19.7.13/24 (simulated devices).
// Names carry the process id so that parallel runs do not collide; everything is
// removed by the destructor, and leftovers of dead runs at the next Setup.

#include <functional>
#include <string>

#include "devlink/NetIf.h"

namespace testtftp {

class NetnsHarness {
public:
    static bool IsRoot();
    // True when the calling thread is in the network namespace of process 1.
    static bool InHostNetns();

    NetnsHarness() = default;
    ~NetnsHarness();
    NetnsHarness(const NetnsHarness&) = delete;
    NetnsHarness& operator=(const NetnsHarness&) = delete;

    // Builds the namespaces; answers "" or why it could not.
    std::string Setup(const std::string& tag);
    void Teardown();

    std::string AppNs() const { return fBase + "-app"; }
    std::string DevNs() const { return fBase + "-dev"; }
    static std::string NsPath(const std::string& ns) { return "/var/run/netns/" + ns; }

    // Runs fn with the calling thread inside ns (sockets made there stay there),
    // then returns to the namespace it came from. False when ns cannot be entered,
    // or fn would run in the host's namespace.
    bool InNs(const std::string& ns, const std::function<void()>& fn);

private:
    bool Sh(const std::string& cmd, std::string* why);
    std::string fBase;
    bool fUp = false;
};

// The application's side of a namespace pair reaches its devices through eth0.
struct Eth0Prefs : CNetIfPrefSource {
    LString ChosenInterfaceName() override { return LString("eth0"); }
    void AddChangeListener(void*, ChangeFn) override {}
    void RemoveChangeListener(void*, ChangeFn) override {}
};

}  // namespace testtftp
