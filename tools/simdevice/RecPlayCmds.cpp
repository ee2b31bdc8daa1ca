#include "tools/simdevice/RecPlayCmds.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "base/Paths.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "tools/simdevice/Channels.h"
#include "tools/simdevice/SimDevice.h"

namespace simdev {

namespace {

constexpr u8 kPlaying = 2, kRecording = 3;

struct RecPlay {
    uint64_t since = 0;  // when sqtm was last set
    int32_t base = 0;    // sqtm then
    uint32_t takes = 0;  // recordings made
};
std::map<uint32_t, RecPlay>& States() {
    static std::map<uint32_t, RecPlay> states;
    return states;
}

CRecord* Ssta(Device& d) {
    return ChannelRecord(d, "/.cmd/udseqstat");
}

// The position as it runs: fixed unless playing or recording.
void Advance(Sim& sim, Device& d) {
    CRecord* ssta = Ssta(d);
    if (!ssta) return;
    RecPlay& s = States()[d.serno];
    const uint64_t now = sim.EventLoop().Now();
    const u8 stat = ssta->GetU8(SstaF::stat);
    if (stat == kPlaying || stat == kRecording)
        ssta->SetI32(nullptr, SstaF::sqtm, int32_t(s.base + int64_t(now - s.since)));
    s.base = ssta->GetI32(SstaF::sqtm);
    s.since = now;
}

void SetPosition(Sim& sim, Device& d, int32_t ms) {
    RecPlay& s = States()[d.serno];
    s.base = ms;
    s.since = sim.EventLoop().Now();
    Ssta(d)->SetI32(nullptr, SstaF::sqtm, ms);
}

void StoreRecording(Device& d, const std::string& path) {
    std::string host;
    if (MapDevicePath(d, path, &host) != 0) return;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(host).parent_path(), ec);
    std::ofstream f(host, std::ios::binary);
    f << "DRC";
}

// A take begins: named by the device (REC0001.drc, ...) unless path is given.
void StartTake(Sim& sim, Device& d, const std::string& path) {
    CRecord* ssta = Ssta(d);
    std::string name = path;
    if (name.empty()) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%s/REC%04u.drc", kRecordingsFolder,
                      ++States()[d.serno].takes);
        name = buf;
    }
    ssta->SetString(nullptr, SstaF::cflp, LString(name.c_str()));
    ssta->SetU8(nullptr, SstaF::stat, kRecording);
    SetPosition(sim, d, 0);
}

// A stop: a take ends written to its name, over whatever holds it.
void StopTake(Device& d) {
    CRecord* ssta = Ssta(d);
    const u8 before = ssta->GetU8(SstaF::stat);
    ssta->SetU8(nullptr, SstaF::stat, 0);
    if (before == kRecording) StoreRecording(d, ssta->GetString(SstaF::cflp).CStr());
}

void Apply(Sim& sim, Device& d, const std::string& field) {
    CRecord* cmd = ChannelRecord(d, "/.cmd/udkvtcmd");
    CRecord* ssta = Ssta(d);
    if (!cmd || !ssta) return;
    Advance(sim, d);
    if (field == "/rcct") {
        switch (cmd->GetI32(DvcmF::rcct)) {
            case 1:
                SetPosition(sim, d, 0);
                break;
            case 2:
                StopTake(d);
                break;
            case 3:
                ssta->SetU8(nullptr, SstaF::stat, kPlaying);
                break;
            case 4:
                StartTake(sim, d, std::string());
                break;
            default:
                break;
        }
    } else if (field == "/rclc") {
        SetPosition(sim, d, cmd->GetI32(DvcmF::rclc));
    } else if (field == "/pltm" && cmd->GetI32(DvcmF::pltm) >= 0) {
        // A sequence played from a time: the position runs from there.
        SetPosition(sim, d, cmd->GetI32(DvcmF::pltm));
        ssta->SetU8(nullptr, SstaF::stat, kPlaying);
    } else if (field == "/plcr" && cmd->GetU8(DvcmF::plcr) != 0) {
        // The current scene played: the position runs on from where it is.
        ssta->SetU8(nullptr, SstaF::stat, kPlaying);
    } else if (field == "/rcpf") {
        ssta->SetString(nullptr, SstaF::cflp, cmd->GetString(DvcmF::rcpf));
    }
}

}  // namespace

void InstallRecPlayCmds(Sim& sim, Device& d) {
    States().erase(d.serno);
    CmdFile& cmd = d.cmds["/.cmd/udkvtcmd"];
    auto write = cmd.writeAt;
    cmd.writeAt = [write, &sim](Device& dev, const std::string& rest, const Bytes& in) {
        const int result = write(dev, rest, in);
        if (result == 0) Apply(sim, dev, rest);
        return result;
    };
    CmdFile& stat = d.cmds["/.cmd/udseqstat"];
    auto read = stat.readAt;
    stat.readAt = [read, &sim](Device& dev, const std::string& rest, Bytes* out) {
        Advance(sim, dev);
        return read(dev, rest, out);
    };
}

}  // namespace simdev

namespace simdev {

void AddRecPlayCommands(Control& control, Sim& sim) {
    // What the device's own schedule or trigger does, with no command of a client.
    control.Add("rec-self", "rec-self serno=N act=start [path=/sdc/kevrecfiles/NAME] | act=stop",
                [&sim](Args& a, const Control::Emit&) {
                    Device* d = sim.FindDevice(
                        uint32_t(std::strtoul(a.named["serno"].c_str(), nullptr, 10)));
                    if (!d || !Ssta(*d)) return std::string("err no such device");
                    Advance(sim, *d);
                    if (a.named["act"] == "start")
                        StartTake(sim, *d, a.named["path"]);
                    else if (a.named["act"] == "stop")
                        StopTake(*d);
                    else
                        return std::string("err usage");
                    sim.Note("rec-self dev=" + std::to_string(d->serno) + " act=" + a.named["act"] +
                             " path=" + std::string(Ssta(*d)->GetString(SstaF::cflp).CStr()));
                    return std::string("ok");
                });
}

}  // namespace simdev
