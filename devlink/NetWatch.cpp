// The watchers run on the main run loop: kept apart from the address walk so that
// programs without a run loop can use the sockets.

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "devlink/NetIf.h"
#include "devlink/SocketReactor.h"
#include "services/RunLoop.h"

CNetConfigWatch::CNetConfigWatch() {
    fSource = CRunLoopSrc::New(this, OnSignal);
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return;
    sockaddr_nl sa{};
    sa.nl_family = AF_NETLINK;
    sa.nl_groups = RTMGRP_IPV4_IFADDR | RTMGRP_LINK;
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        !CSocketReactor::Register(fd, this, OnReadable)) {
        close(fd);
        return;
    }
    fFd = fd;
    CSocketReactor::Arm(fFd, CSocketReactor::kRead);
}

CNetConfigWatch::~CNetConfigWatch() {
    if (fFd >= 0) {
        CSocketReactor::Unregister(fFd);
        close(fFd);
    }
    delete fSource;
}

void CNetConfigWatch::AddListener(void* object, ListenerFn fn) {
    const LCallbackPair p = LCallbackPair::Make(object, fn);
    fListeners.AddUnique(&p);
}

void CNetConfigWatch::RemoveListener(void* object, ListenerFn fn) {
    const LCallbackPair p = LCallbackPair::Make(object, fn);
    fListeners.Remove(&p);
}

void CNetConfigWatch::OnReadable(void* self, u32) {
    // Reactor thread: only hand over to the run loop.
    static_cast<CNetConfigWatch*>(self)->fSource->Signal();
}

void CNetConfigWatch::OnSignal(void* self) {
    static_cast<CNetConfigWatch*>(self)->Drain();
}

void CNetConfigWatch::Drain() {
    bool changed = false;
    alignas(nlmsghdr) u8 buf[8192];
    for (;;) {
        const ssize_t n = recv(fFd, buf, sizeof buf, 0);
        if (n > 0) {
            changed = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // Lost notices (ENOBUFS) still mean that something changed.
        if (n < 0 && errno == ENOBUFS) {
            changed = true;
            continue;
        }
        break;
    }
    CSocketReactor::Arm(fFd, CSocketReactor::kRead);
    if (!changed) return;
    BumpNetConfigGeneration();
    LCallbackIter it(fListeners);
    LCallbackPair p;
    while (it.Next(&p)) p.FunctionAs<ListenerFn>()(p.object);
}

CLocalAddrWatch* gLocalAddrWatch = nullptr;

CLocalAddrWatch::CLocalAddrWatch(CNetIfPrefSource* prefs) : fPrefs(prefs) {
    // Perhaps another network (namespace) than the last watch's: nothing read
    // through the last one holds.
    BumpNetConfigGeneration();
    gLocalAddrWatch = this;
    Update();
    AddListener(this, OnChange);
    if (fPrefs) fPrefs->AddChangeListener(this, OnChange);
}

CLocalAddrWatch::~CLocalAddrWatch() {
    BumpNetConfigGeneration();
    RemoveListener(this, OnChange);
    if (fPrefs) fPrefs->RemoveChangeListener(this, OnChange);
    if (gLocalAddrWatch == this) gLocalAddrWatch = nullptr;
}

void CLocalAddrWatch::OnChange(void* self) {
    static_cast<CLocalAddrWatch*>(self)->Update();
}

u32 CLocalAddrWatch::Current() {
    return gLocalAddrWatch ? gLocalAddrWatch->fIndex : 0;
}

void CLocalAddrWatch::Update() {
    const LString chosen = fPrefs ? fPrefs->ChosenInterfaceName() : LString();
    if (!chosen.IsEmpty()) {
        CIfAddrList list;
        while (list.Next()) {
            if (!(list.Flags() & IFF_RUNNING) || !list.IsIPv4()) continue;
            if (list.GetDisplayName() == chosen) {
                fIndex = list.GetIndex();
                return;
            }
        }
    }
    fIndex = DefaultInterfaceIndex();
}
