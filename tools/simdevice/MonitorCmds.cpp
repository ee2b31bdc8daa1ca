#include "tools/simdevice/MonitorCmds.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "base/CMemStrm.h"
#include "base/LHandle.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/PropRecord.h"
#include "records/RecordKinds.h"
#include "records/Universes.h"
#include "tools/simdevice/Channels.h"

namespace simdev {

namespace {

// Per serial: the universe status record of each scene path.
using Scenes = std::map<std::string, std::unique_ptr<CRecordDoc>>;
std::map<uint32_t, Scenes>& AllScenes() {
    static std::map<uint32_t, Scenes> scenes;
    return scenes;
}

bool ParseHex(const std::string& h, std::vector<u8>* out) {
    if (h.size() % 2) return false;
    for (size_t i = 0; i < h.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = h.substr(i, 2);
        const unsigned long v = std::strtoul(pair.c_str(), &end, 16);
        if (*end) return false;
        out->push_back(u8(v));
    }
    return true;
}

// Sets one universe of a status record from univ=, host=, hstx=, hex= (the
// start code and the levels).
std::string SetUniverse(CRecord* status, Args& a) {
    std::vector<u8> stat;
    if (!ParseHex(a.named["hex"], &stat)) return "err bad hex";
    in_addr host{};
    if (a.Has("host") && inet_pton(AF_INET, a.named["host"].c_str(), &host) != 1)
        return "err bad host";
    CRecord* u =
        FindOrAddUniverseRec(status, u32(std::strtoul(a.named["univ"].c_str(), nullptr, 10)));
    if (!u) return "err no universe";
    u->SetU32(nullptr, UnvsF::host, ntohl(host.s_addr));
    u->SetU8(nullptr, UnvsF::hstx, u8(std::strtoul(a.named["hstx"].c_str(), nullptr, 10)));
    SetUniverseRecData(u, stat.data(), u32(stat.size()));
    return "ok universes=" + std::to_string(status->GetListCount(DrcStatF::unvs));
}

Device* DeviceOf(Sim& sim, Args& a) {
    return sim.FindDevice(uint32_t(std::strtoul(a.named["serno"].c_str(), nullptr, 10)));
}

CRecord* PlayedUniverses(Device& d) {
    CRecordDoc* doc = ChannelDoc(d, "/.cmd/udseqstat");
    return doc && doc->Root() ? doc->Root()->GetChild(SstaF::uvst) : nullptr;
}

}  // namespace

void InstallMonitorCmds(Sim&, Device& d) {
    AllScenes().erase(d.serno);
    // The rest of the path is the scene's record path: its universes as a
    // 'YDRC'/'STAT' record chunk; a scene without any is not found.
    d.cmds["/.cmd/drcscnunv"].readAt = [](Device& dev, const std::string& rest, Bytes* out) {
        Scenes& scenes = AllScenes()[dev.serno];
        auto it = scenes.find(rest);
        if (it == scenes.end() || !it->second->Root()) return false;
        LDataBuf buf;
        CMemStrm s(buf);
        PropRecord::Write(&s, it->second->Root());
        s.Commit();
        if (s.Error()) return false;
        *out = Bytes(buf.Data(), buf.Data() + s.End());
        return true;
    };
}

void AddMonitorCommands(Control& control, Sim& sim) {
    control.Add("scnunv-set", "scnunv-set serno=N path=/P univ=U hex=HEX [host=A.B.C.D] [hstx=N]",
                [&sim](Args& a, const Control::Emit&) {
                    Device* d = DeviceOf(sim, a);
                    if (!d) return std::string("err no such device");
                    const std::string path = a.named["path"];
                    if (path.empty() || path[0] != '/') return std::string("err bad path");
                    RegisterAllRecordKinds();
                    auto& doc = AllScenes()[d->serno][path];
                    if (!doc) doc = std::make_unique<CRecordDoc>(NewDevStatRecord());
                    return SetUniverse(doc->Root(), a);
                });
    control.Add("scnunv-clear", "scnunv-clear serno=N [path=/P]",
                [&sim](Args& a, const Control::Emit&) {
                    Device* d = DeviceOf(sim, a);
                    if (!d) return std::string("err no such device");
                    if (a.Has("path"))
                        AllScenes()[d->serno].erase(a.named["path"]);
                    else
                        AllScenes().erase(d->serno);
                    return std::string("ok");
                });
    control.Add("uvst-set", "uvst-set serno=N univ=U hex=HEX [host=A.B.C.D] [hstx=N]",
                [&sim](Args& a, const Control::Emit&) {
                    Device* d = DeviceOf(sim, a);
                    CRecord* uvst = d ? PlayedUniverses(*d) : nullptr;
                    if (!uvst) return std::string("err no such device");
                    return SetUniverse(uvst, a);
                });
    control.Add("uvst-clear", "uvst-clear serno=N", [&sim](Args& a, const Control::Emit&) {
        Device* d = DeviceOf(sim, a);
        CRecord* uvst = d ? PlayedUniverses(*d) : nullptr;
        if (!uvst) return std::string("err no such device");
        ClearUniverseRecs(uvst);
        return std::string("ok");
    });
}

}  // namespace simdev
