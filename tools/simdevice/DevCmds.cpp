#include "tools/simdevice/DevCmds.h"

#include <cstdlib>

namespace simdev {

namespace {

struct RestartSetting {
    uint32_t ms = 3000;
    bool before = false;  // silent before the answer leaves: the restart goes unconfirmed
};

std::map<uint32_t, RestartSetting>& Restarts() {
    static std::map<uint32_t, RestartSetting> settings;
    return settings;
}

void Note(Sim& sim, const Device& d, const char* op) {
    sim.Note("cmd dev=" + std::to_string(d.serno) + " op=" + op);
}

}  // namespace

void InstallDevCmds(Sim& sim, Device& d) {
    Restarts().erase(d.serno);
    d.cmds["/.cmd/fsflush"].read = [&sim](Device& dev, Bytes* out) {
        Note(sim, dev, "fsflush");
        out->clear();
        return true;
    };
    d.cmds["/.cmd/restart"].write = [&sim](Device& dev, const Bytes&) {
        Note(sim, dev, "restart");
        const RestartSetting r = Restarts()[dev.serno];
        if (r.ms == 0) return 0;
        const uint32_t serno = dev.serno;
        auto silence = [&sim, serno, ms = r.ms] {
            if (Device* x = sim.FindDevice(serno)) x->silentUntil = sim.EventLoop().Now() + ms;
        };
        // The last acknowledgement leaves after this returns: silence it now, or
        // once it is out.
        if (r.before)
            silence();
        else
            sim.EventLoop().After(0, silence);
        return 0;
    };
    for (const char* op : {"rstadr", "tchcal", "rotdsp"}) {
        d.cmds[std::string("/.cmd/") + op].write = [&sim, op](Device& dev, const Bytes&) {
            Note(sim, dev, op);
            return 0;
        };
    }
}

void AddDevCommands(Control& control, Sim& sim) {
    control.Add("restart-set", "restart-set serno=N ms=MS [before=0|1]",
                [&sim](Args& a, const Control::Emit&) {
                    const uint32_t serno =
                        uint32_t(std::strtoul(a.named["serno"].c_str(), nullptr, 10));
                    if (!sim.FindDevice(serno)) return std::string("err no such device");
                    RestartSetting& r = Restarts()[serno];
                    r.ms = uint32_t(std::strtoul(a.named["ms"].c_str(), nullptr, 10));
                    r.before = a.named["before"] == "1";
                    return std::string("ok");
                });
}

}  // namespace simdev
