#include "tools/simdevice/LinkDelay.h"

#include "tools/simdevice/Control.h"

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace simdev {

namespace {

uint64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
}

uint64_t Mix(uint64_t* s) {
    uint64_t z = (*s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

DelayLine::DelayLine(Loop& loop) : fLoop(loop) {
    // A timer of its own: the loop's timers count whole milliseconds, and half a
    // millisecond off a one-millisecond round trip would be no measurement at all.
    fFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fFd >= 0) fLoop.Watch(fFd, [this] { OnTimer(); });
}

DelayLine::~DelayLine() {
    if (fFd >= 0) {
        fLoop.Unwatch(fFd);
        close(fFd);
    }
}

bool DelayLine::Defer(Device& d, std::function<void()> send) {
    if ((d.delayMs == 0 && d.jitterMs == 0) || fFd < 0) return false;
    uint64_t wait = uint64_t(d.delayMs) * 1000000ull;
    if (d.jitterMs) wait += Mix(&d.jitterRng) % (uint64_t(d.jitterMs) * 1000000ull + 1);
    // Jitter stretches the way, it does not reorder it.
    const uint64_t due = std::max(NowNs() + wait, d.delayLastDue);
    d.delayLastDue = due;
    fDue.emplace(std::make_pair(due, fSeq++), std::move(send));
    Arm();
    return true;
}

void DelayLine::Arm() {
    itimerspec its{};
    if (!fDue.empty()) {
        const uint64_t due = std::max<uint64_t>(fDue.begin()->first.first, 1);
        its.it_value.tv_sec = time_t(due / 1000000000ull);
        its.it_value.tv_nsec = long(due % 1000000000ull);
    }
    timerfd_settime(fFd, TFD_TIMER_ABSTIME, &its, nullptr);
}

void DelayLine::OnTimer() {
    uint64_t expirations = 0;
    if (read(fFd, &expirations, sizeof expirations) < 0) {
        // Nothing to read: woken for another reason; the due sends still go below.
    }
    const uint64_t now = NowNs();
    while (!fDue.empty() && fDue.begin()->first.first <= now) {
        auto fn = std::move(fDue.begin()->second);
        fDue.erase(fDue.begin());
        fn();
    }
    Arm();
}

void AddLinkDelayCommands(Control& control, Sim& sim) {
    control.Add("set-delay", "set-delay serno=N delay-ms=MS [jitter-ms=MS] [seed=S]",
                [&sim](Args& a, const Control::Emit&) -> std::string {
                    auto num = [&a](const char* key, uint64_t max, uint64_t* out) {
                        const auto it = a.named.find(key);
                        if (it == a.named.end()) return true;
                        const std::string& s = it->second;
                        if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos ||
                            s.size() > 12)
                            return false;
                        *out = std::strtoull(s.c_str(), nullptr, 10);
                        return *out <= max;
                    };
                    uint64_t serno = 0, delay = 0, jitter = 0, seed = 1;
                    if (!a.Has("serno") || !num("serno", UINT32_MAX, &serno))
                        return "err serno= required";
                    Device* d = sim.FindDevice(uint32_t(serno));
                    if (!d) return "err no device " + std::to_string(serno);
                    if (!num("delay-ms", 60000, &delay)) return "err bad delay-ms";
                    if (!num("jitter-ms", 60000, &jitter)) return "err bad jitter-ms";
                    if (!num("seed", UINT64_MAX - 1, &seed)) return "err bad seed";
                    d->delayMs = uint32_t(delay);
                    d->jitterMs = uint32_t(jitter);
                    d->jitterRng = seed;
                    return "ok delay-ms=" + std::to_string(delay) +
                           " jitter-ms=" + std::to_string(jitter);
                });
}

}  // namespace simdev
