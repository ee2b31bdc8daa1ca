#include "devlink/OpenFiles.h"

#include <sys/resource.h>

#include <atomic>

namespace {

std::atomic<u32> sFailures{0};

}  // namespace

u64 RaiseOpenFileLimit() {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return 0;
    if (lim.rlim_cur < lim.rlim_max) {
        rlimit raised = lim;
        raised.rlim_cur = lim.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) lim = raised;
    }
    return lim.rlim_cur == RLIM_INFINITY ? ~u64(0) : u64(lim.rlim_cur);
}

u64 OpenFileLimit() {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return 0;
    return lim.rlim_cur == RLIM_INFINITY ? ~u64(0) : u64(lim.rlim_cur);
}

void NoteSocketOpenFailure() {
    sFailures.fetch_add(1);
}

u32 SocketOpenFailures() {
    return sFailures.load();
}
