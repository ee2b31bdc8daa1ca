#include "tools/simdevice/ScheduleCmds.h"

#include <cstdlib>

#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/ShowKinds.h"
#include "tools/simdevice/Channels.h"
#include "tools/simdevice/SimDevice.h"

namespace simdev {

namespace {

constexpr const char* kCmd = "/.cmd/udkvtcmd";

// The event index of "/schd/flts/N", or -1.
long EventIndex(const std::string& path) {
    const std::string prefix = "/schd/flts/";
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) return -1;
    char* end = nullptr;
    const long n = std::strtol(path.c_str() + prefix.size(), &end, 10);
    return *end == 0 && n >= 0 ? n : -1;
}

void Follow(Device& d, const std::string& rest) {
    CRecord* cmd = ChannelRecord(d, kCmd);
    CRecordDoc* stateDoc = ChannelDoc(d, "/.cmd/udkvtstat");
    CRecord* state = stateDoc ? stateDoc->Root() : nullptr;
    if (!cmd || !state) return;
    if (rest == "/plsn") {
        const CRecord* seq = ChannelRecord(d, "/.cmd/udseqset");
        const CRecord* sched = seq ? seq->GetChild(SqstF::schd) : nullptr;
        const long n = EventIndex(cmd->GetString(DvcmF::plsn).CStr());
        if (sched && n >= 0 && u32(n) < sched->GetListCount(SchdF::flts))
            state->SetU32(nullptr, DvssF::scen, u32(n));
    } else if (rest == "/sisc") {
        const i32 v = cmd->GetI32(DvcmF::sisc);
        if (v == 0 || v == 1) state->SetU8(nullptr, DvssF::insc, u8(v));
    }
}

}  // namespace

void InstallScheduleCmds(Device& d) {
    CmdFile& f = d.cmds[kCmd];
    auto write = f.writeAt;
    if (!write) return;
    f.writeAt = [write](Device& dev, const std::string& rest, const Bytes& in) {
        const int r = write(dev, rest, in);
        if (r == 0) Follow(dev, rest);
        return r;
    };
}

}  // namespace simdev
