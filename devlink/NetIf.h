#pragma once
// Network interfaces: the walk over the interface addresses, the default
// interface, the watcher of IPv4 address and link changes, and the tracker of the
// interface every device transfer is bound to.

#include <ifaddrs.h>

#include <vector>

#include "base/LCallbackList.h"
#include "base/LString.h"
#include "base/Types.h"

struct LIPv4AndMask {
    u32 address;  // host order
    u32 mask;     // host order
};

// Walker over the system's interface address list.
class CIfAddrList {
public:
    CIfAddrList();
    ~CIfAddrList();
    CIfAddrList(const CIfAddrList&) = delete;
    CIfAddrList& operator=(const CIfAddrList&) = delete;

    // The first entry on the first call, then the next; false at the end.
    bool Next();
    u32 GetIndex() const;
    // Appends (address, mask) of an IPv4 entry; false for any other entry.
    bool GetIPv4AndMask(std::vector<LIPv4AndMask>* out) const;
    // What the user sees as the interface's name; on this system its own name.
    LString GetDisplayName() const;
    u32 Flags() const;
    bool IsIPv4() const;
    const char* Name() const;

private:
    ifaddrs* fList = nullptr;
    ifaddrs* fCurrent = nullptr;
    bool fStarted = false;
};

// The interface of the lowest-metric IPv4 default route that is running; 0 when none.
u32 DefaultInterfaceIndex();

// The IPv4 (address, mask) pairs of one interface.
std::vector<LIPv4AndMask> InterfaceIPv4Addresses(u32 index);

// Counts the changes of the network seen so far (addresses, links, a new
// watcher): what was read from the interfaces before a change is stale.
u32 NetConfigGeneration();
void BumpNetConfigGeneration();

class CRunLoopSrc;

// Reports changes of IPv4 addresses and links (rtnetlink) on the creating
// thread's run loop: every listener is called with (object).
class CNetConfigWatch {
public:
    using ListenerFn = void (*)(void* object);

    CNetConfigWatch();
    virtual ~CNetConfigWatch();
    CNetConfigWatch(const CNetConfigWatch&) = delete;
    CNetConfigWatch& operator=(const CNetConfigWatch&) = delete;

    void AddListener(void* object, ListenerFn fn);
    void RemoveListener(void* object, ListenerFn fn);
    bool IsWatching() const { return fFd >= 0; }

private:
    static void OnReadable(void* self, u32 direction);
    static void OnSignal(void* self);
    void Drain();

    int fFd = -1;
    CRunLoopSrc* fSource = nullptr;
    LCallbackList fListeners;
};

// Where the chosen interface comes from: the application preferences feed it
// (the `ntif` text: the display name of the chosen interface, empty for the
// default) and call the change function when that field changes.
class CNetIfPrefSource {
public:
    using ChangeFn = void (*)(void* object);
    virtual ~CNetIfPrefSource() = default;
    virtual LString ChosenInterfaceName() = 0;
    virtual void AddChangeListener(void* object, ChangeFn fn) = 0;
    virtual void RemoveChangeListener(void* object, ChangeFn fn) = 0;
};

// Keeps the index of the interface every device transfer is bound to. One
// instance; the transfer code reads CLocalAddrWatch::Current().
class CLocalAddrWatch : public CNetConfigWatch {
public:
    // prefs may be null (no chosen interface); it must outlive the watch.
    explicit CLocalAddrWatch(CNetIfPrefSource* prefs);
    ~CLocalAddrWatch() override;

    void Update();
    u32 Index() const { return fIndex; }

    // The chosen index of the one instance, 0 when there is none.
    static u32 Current();

private:
    static void OnChange(void* self);

    CNetIfPrefSource* fPrefs;
    u32 fIndex = 0;
};

extern CLocalAddrWatch* gLocalAddrWatch;
