#include "tools/simdevice/NsqPlayCmds.h"

#include <map>
#include <string>

#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "tools/simdevice/Channels.h"
#include "tools/simdevice/SimDevice.h"

namespace simdev {

namespace {

constexpr const char* kCmd = "/.cmd/udkvtcmd";
constexpr const char* kState = "/.cmd/udkvtstat";

struct NsqPlay {
    bool playing = false;
    uint64_t since = 0;  // when the position was last set
    int32_t base = 0;    // the position then
};
std::map<uint32_t, NsqPlay>& Plays() {
    static std::map<uint32_t, NsqPlay> plays;
    return plays;
}

CRecord* State(Device& d) {
    CRecordDoc* doc = ChannelDoc(d, kState);
    return doc ? doc->Root() : nullptr;
}

// The position as it runs: set through the state record's document, so that
// the next status answer carries it.
void Advance(Sim& sim, Device& d) {
    CRecord* state = State(d);
    NsqPlay& p = Plays()[d.serno];
    const uint64_t now = sim.EventLoop().Now();
    if (state && p.playing) {
        const int64_t at = int64_t(p.base) + int64_t(now - p.since);
        state->SetI32(nullptr, DvssF::sqtm, int32_t(at > 0x7FFFFFFF ? 0x7FFFFFFF : at));
    }
    p.base = state ? state->GetI32(DvssF::sqtm) : 0;
    p.since = now;
}

// The NSQ sequence a record path of the sequence settings names, or null.
const CRecord* NamedNsqSequence(Device& d, const std::string& path) {
    CRecord* seq = ChannelRecord(d, "/.cmd/udseqset");
    if (!seq || path.empty()) return nullptr;
    u8 field = 0;
    u32 index = 0;
    const CRecord* r = LRecPath::Resolve(path.c_str(), seq, &field, &index);
    if (r && field != kRecSelf && index != kRecNoIndex && field < r->FieldCount() &&
        r->Desc(field).type == kRecList && index < r->GetListCount(field))
        r = r->GetListItem(field, index);
    return r && r->Family() == kFamNsq && r->Kind() == kKindSseq ? r : nullptr;
}

void Follow(Sim& sim, Device& d, const std::string& rest) {
    CRecord* cmd = ChannelRecord(d, kCmd);
    CRecord* state = State(d);
    if (!cmd || !state) return;
    Advance(sim, d);
    NsqPlay& p = Plays()[d.serno];
    if (rest == "/plsn") {
        if (const CRecord* seq = NamedNsqSequence(d, cmd->GetString(DvcmF::plsn).CStr())) {
            state->SetU32(nullptr, DvssF::sqid, seq->GetU32(SseqF::sqid));
            state->SetI32(nullptr, DvssF::sqtm, 0);
            p.playing = true;
            p.base = 0;
        }
    } else if (rest == "/pltm") {
        const i32 ms = cmd->GetI32(DvcmF::pltm);
        if (ms >= 0 && state->GetU32(DvssF::sqid) != 0) {
            state->SetI32(nullptr, DvssF::sqtm, ms);
            p.playing = true;
            p.base = ms;
        }
    } else if (rest == "/stps" && cmd->GetU8(DvcmF::stps) == 1) {
        p.playing = false;
        state->SetU32(nullptr, DvssF::sqid, 0);
    }
}

}  // namespace

void InstallNsqPlayCmds(Sim& sim, Device& d) {
    Plays().erase(d.serno);
    CmdFile& cmd = d.cmds[kCmd];
    if (auto write = cmd.writeAt) {
        cmd.writeAt = [write, &sim](Device& dev, const std::string& rest, const Bytes& in) {
            const int r = write(dev, rest, in);
            if (r == 0) Follow(sim, dev, rest);
            return r;
        };
    }
    CmdFile& stat = d.cmds[kState];
    if (auto read = stat.read) {
        stat.read = [read, &sim](Device& dev, Bytes* out) {
            Advance(sim, dev);
            return read(dev, out);
        };
    }
}

}  // namespace simdev
