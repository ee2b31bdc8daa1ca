#include "devlink/SocketReactor.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <vector>

#include "base/LList.h"
#include "base/Threads.h"
#include "services/Services.h"

namespace {

struct Entry : LLink {
    u64 id = 0;  // never reused: poll results are matched by it after the mutex was let go
    i32 fd = -1;
    void* context = nullptr;
    LReactorFn callback = nullptr;
    u32 direction = 0;
};

struct Reactor {
    LList idle, pending, active;
    int pipeRead = -1, pipeWrite = -1;
    LEventFlag ended{1};
    std::atomic<bool> stop{false};
    std::vector<u64> ready;  // ids reported ready by the last poll()
};

// Exists from program start and is never destroyed: sockets may close during exit.
pthread_mutex_t* GlobalMutex() {
    static pthread_mutex_t* m = [] {
        auto* mutex = new pthread_mutex_t;
        InitRecursiveMutex(mutex);
        return mutex;
    }();
    return m;
}

Reactor* gReactor = nullptr;
u64 gNextId = 1;
std::atomic<u32> gStarts{0};

void Wake(Reactor* r) {
    const u8 b = 1;
    ssize_t n;
    do {
        n = write(r->pipeWrite, &b, 1);
    } while (n < 0 && errno == EINTR);
    // A full pipe already wakes the loop.
}

void Loop(void* arg) {
    auto* r = static_cast<Reactor*>(arg);
    SetThreadPriority(kSchedPolicyRoundRobin, 1);
    std::vector<pollfd> fds;
    std::vector<u64> ids;
    while (!r->stop.load()) {
        {
            LMutexLock lock(GlobalMutex());
            // Entries watched by the last poll(): ready ones go idle with one
            // callback; the others are watched again.
            while (LLink* l = r->active.PopFront()) {
                auto* e = static_cast<Entry*>(l);
                bool isReady = false;
                for (u64 id : r->ready)
                    if (id == e->id) isReady = true;
                if (isReady) {
                    r->idle.PushBack(e);
                    e->callback(e->context, e->direction);
                } else {
                    r->pending.PushBack(e);
                }
            }
            r->ready.clear();
            fds.clear();
            ids.clear();
            fds.push_back({r->pipeRead, POLLIN, 0});
            ids.push_back(0);
            while (LLink* l = r->pending.PopFront()) {
                auto* e = static_cast<Entry*>(l);
                r->active.PushBack(e);
                fds.push_back(
                    {e->fd, short(e->direction == CSocketReactor::kRead ? POLLIN : POLLOUT), 0});
                ids.push_back(e->id);
            }
        }
        int n;
        do {
            n = poll(fds.data(), nfds_t(fds.size()), -1);
        } while (n == 0 || (n < 0 && errno == EINTR));
        if (n < 0) {
            SleepMs(100);
            continue;
        }
        bool invalid = false;
        std::vector<u64> ready, closed;
        for (size_t i = 1; i < fds.size(); ++i) {
            const short rev = fds[i].revents;
            if (rev & POLLNVAL) {
                closed.push_back(ids[i]);
            } else if (rev & (POLLIN | POLLOUT | POLLERR | POLLHUP)) {
                ready.push_back(ids[i]);
            }
        }
        {
            LMutexLock lock(GlobalMutex());
            r->ready.swap(ready);
            // A descriptor unregistered and closed while poll() watched it is simply
            // gone; one still registered was closed without unregistering: not ready,
            // watched again, after a pause that keeps this loop from spinning.
            for (u64 id : closed)
                for (LLink* l = r->active.Head(); !l->IsEnd(); l = l->Next())
                    if (static_cast<Entry*>(l)->id == id) invalid = true;
        }
        if (fds[0].revents & POLLIN) {
            u8 buf[64];
            while (read(r->pipeRead, buf, sizeof buf) > 0) {
            }
        }
        if (invalid) SleepMs(100);
    }
    r->ended.Set();
}

void FreeList(LList& list) {
    while (LLink* l = list.PopFront()) delete static_cast<Entry*>(l);
}

void Destroy(Reactor* r) {
    r->stop.store(true);
    Wake(r);
    r->ended.Wait();
    close(r->pipeRead);
    close(r->pipeWrite);
    FreeList(r->idle);
    FreeList(r->pending);
    FreeList(r->active);
    delete r;
}

Reactor* Create() {
    auto* r = new (std::nothrow) Reactor;
    if (!r) return nullptr;
    int p[2];
    if (pipe2(p, O_NONBLOCK | O_CLOEXEC) != 0) {
        delete r;
        return nullptr;
    }
    r->pipeRead = p[0];
    r->pipeWrite = p[1];
    if (!CThreadPool::Global().RunJob(r, Loop)) {
        close(p[0]);
        close(p[1]);
        delete r;
        return nullptr;
    }
    gStarts.fetch_add(1);
    return r;
}

Entry* Take(LList& list, i32 fd) {
    LLink* prev = &list;
    for (LLink* l = list.Head(); !l->IsEnd(); prev = l, l = l->Next()) {
        if (static_cast<Entry*>(l)->fd == fd) return static_cast<Entry*>(list.RemoveNext(prev));
    }
    return nullptr;
}

}  // namespace

namespace CSocketReactor {

bool Register(i32 fd, void* context, LReactorFn callback) {
    auto* rd = new (std::nothrow) Entry;
    auto* wr = new (std::nothrow) Entry;
    if (!rd || !wr) {
        delete rd;
        delete wr;
        return false;
    }
    const int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, (flags < 0 ? 0 : flags) | O_NONBLOCK);
    LMutexLock lock(GlobalMutex());
    if (!gReactor) gReactor = Create();
    if (!gReactor) {
        delete rd;
        delete wr;
        return false;
    }
    for (Entry* e : {rd, wr}) {
        e->id = gNextId++;
        e->fd = fd;
        e->context = context;
        e->callback = callback;
        gReactor->idle.PushBack(e);
    }
    rd->direction = kRead;
    wr->direction = kWrite;
    return true;
}

void Arm(i32 fd, u32 direction) {
    LMutexLock lock(GlobalMutex());
    Reactor* r = gReactor;
    if (!r) return;
    LLink* prev = &r->idle;
    for (LLink* l = r->idle.Head(); !l->IsEnd(); prev = l, l = l->Next()) {
        auto* e = static_cast<Entry*>(l);
        if (e->fd == fd && e->direction == direction) {
            r->idle.RemoveNext(prev);
            r->pending.PushFront(e);
            Wake(r);
            return;
        }
    }
}

i32 ArmIfWouldBlock(i32 fd, u32 direction) {
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    Arm(fd, direction);
    return 0;
}

void Unregister(i32 fd) {
    Reactor* doomed = nullptr;
    {
        LMutexLock lock(GlobalMutex());
        Reactor* r = gReactor;
        if (r) {
            for (LList* list : {&r->idle, &r->pending, &r->active}) {
                while (Entry* e = Take(*list, fd)) delete e;
            }
            if (r->idle.IsEmpty() && r->pending.IsEmpty() && r->active.IsEmpty()) {
                gReactor = nullptr;
                doomed = r;
            } else {
                Wake(r);
            }
        }
    }
    if (doomed) Destroy(doomed);
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

bool Running() {
    LMutexLock lock(GlobalMutex());
    return gReactor != nullptr;
}

u32 StartCount() {
    return gStarts.load();
}

}  // namespace CSocketReactor
