#include "devlink/SocketReactor.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/Threads.h"
#include "services/Services.h"

namespace {

enum : u8 { kIdle = 0, kPending = 1, kActive = 2 };

struct Entry {
    i32 fd = -1;
    void* context = nullptr;
    LReactorFn callback = nullptr;
    u32 direction = 0;
    u8 state = kIdle;
    bool ready = false;  // reported by the last poll()
    bool dead = false;   // unregistered while the loop still holds it: the loop deletes it
};

// Thousands of devices mean thousands of sockets: arming and the loop's turn
// find their entries directly, never by a walk over every registration.
struct Reactor {
    std::unordered_map<i32, std::pair<Entry*, Entry*>> byFd;  // read, write
    std::vector<Entry*> pending;  // armed, for the next poll()
    std::vector<Entry*> active;   // watched by the poll() in progress, in its order
    int pipeRead = -1, pipeWrite = -1;
    LEventFlag ended{1};
    std::atomic<bool> stop{false};
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
std::atomic<u32> gStarts{0};

// A descriptor's two entries let go (the caller holds the global mutex): an
// idle one at once; one the loop still holds pending or active is marked, and
// the loop lets it go.
void Drop(Reactor* r, decltype(Reactor::byFd)::iterator it) {
    for (Entry* e : {it->second.first, it->second.second}) {
        if (e->state == kIdle)
            delete e;
        else
            e->dead = true;
    }
    r->byFd.erase(it);
}

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
    std::vector<Entry*> watched;
    while (!r->stop.load()) {
        {
            LMutexLock lock(GlobalMutex());
            // Entries watched by the last poll(): ready ones go idle with one
            // callback; the others are watched again.
            watched.swap(r->active);
            r->active.clear();
            for (Entry* e : watched) {
                if (e->dead) {
                    delete e;
                } else if (e->ready) {
                    e->ready = false;
                    e->state = kIdle;
                    e->callback(e->context, e->direction);
                } else {
                    e->state = kPending;
                    r->pending.push_back(e);
                }
            }
            watched.clear();
            fds.clear();
            fds.push_back({r->pipeRead, POLLIN, 0});
            for (Entry* e : r->pending) {
                if (e->dead) {
                    delete e;
                    continue;
                }
                e->state = kActive;
                r->active.push_back(e);
                fds.push_back(
                    {e->fd, short(e->direction == CSocketReactor::kRead ? POLLIN : POLLOUT), 0});
            }
            r->pending.clear();
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
        {
            // Only this thread deletes an active entry: those of the poll() are alive.
            LMutexLock lock(GlobalMutex());
            for (size_t i = 1; i < fds.size(); ++i) {
                const short rev = fds[i].revents;
                Entry* e = r->active[i - 1];
                if (rev & POLLNVAL) {
                    // Unregistered and closed while poll() watched it: simply gone. One
                    // still registered was closed without unregistering: not ready,
                    // watched again, after a pause that keeps this loop from spinning.
                    if (!e->dead) invalid = true;
                } else if (rev & (POLLIN | POLLOUT | POLLERR | POLLHUP)) {
                    e->ready = true;
                }
            }
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

void Destroy(Reactor* r) {
    r->stop.store(true);
    Wake(r);
    r->ended.Wait();
    close(r->pipeRead);
    close(r->pipeWrite);
    std::unordered_set<Entry*> all;
    for (const auto& [fd, pair] : r->byFd) {
        all.insert(pair.first);
        all.insert(pair.second);
    }
    for (Entry* e : r->pending) all.insert(e);
    for (Entry* e : r->active) all.insert(e);
    for (Entry* e : all) delete e;
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
    const auto stale = gReactor->byFd.find(fd);
    if (stale != gReactor->byFd.end()) {
        // A descriptor closed without unregistering and handed out again: the old
        // owner's entries go.
        Drop(gReactor, stale);
    }
    for (Entry* e : {rd, wr}) {
        e->fd = fd;
        e->context = context;
        e->callback = callback;
    }
    rd->direction = kRead;
    wr->direction = kWrite;
    gReactor->byFd.emplace(fd, std::make_pair(rd, wr));
    return true;
}

void Arm(i32 fd, u32 direction) {
    LMutexLock lock(GlobalMutex());
    Reactor* r = gReactor;
    if (!r) return;
    const auto it = r->byFd.find(fd);
    if (it == r->byFd.end()) return;
    Entry* e = direction == kRead ? it->second.first : it->second.second;
    if (e->state != kIdle) return;
    e->state = kPending;
    r->pending.push_back(e);
    Wake(r);
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
            const auto it = r->byFd.find(fd);
            if (it != r->byFd.end()) Drop(r, it);
            if (r->byFd.empty()) {
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
