#include "tools/simdevice/Channels.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "base/CMemStrm.h"
#include "base/LHandle.h"
#include "base/LTextSink.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/PropRecord.h"
#include "records/ShowKinds.h"

namespace simdev {

struct ChannelRecords {
    std::map<std::string, std::unique_ptr<CRecordDoc>> docs;  // by command path
};

namespace {

struct ChannelKind {
    const char* path;
    u32 family, kind;
};
const ChannelKind kChannels[] = {
    {"/.cmd/udkvtset", kFamKvt, kKindDvst},
    {"/.cmd/udkvtcmd", kFamKvt, kKindDvcm},
    {"/.cmd/udseqset", kFamKvt, kKindSqst},
    {"/.cmd/udplayset", kFamKvt, kKindPlys},
    {"/.cmd/udseqstat", kFamKvt, kKindSsta},
    {"/.cmd/udsysstat", kFamUnd, kKindPrms},
    // The status poll's answer: chan-set sets it field by field.
    {"/.cmd/udkvtstat", kFamKvt, kKindDvss},
};

// The device's clock as the devices give it, unless a test has set crtc.
std::string ClockText() {
    const time_t now = time(nullptr);
    struct tm t;
    gmtime_r(&now, &t);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &t);
    return buf;
}

Bytes StreamBytes(LDataBuf& buf, CMemStrm& s) {
    return Bytes(buf.Data(), buf.Data() + s.End());
}

// A value as text for the log and for chan-get.
std::string ValueText(const CRecord* r, u8 field) {
    if (field == kRecSelf || field >= r->FieldCount()) return "-";
    char t[64];
    switch (r->Desc(field).type) {
        case kRecI32:
            std::snprintf(t, sizeof t, "%d", r->GetI32(field));
            return t;
        case kRecU32:
            std::snprintf(t, sizeof t, "%u", r->GetU32(field));
            return t;
        case kRecU8:
            std::snprintf(t, sizeof t, "%u", unsigned(r->GetU8(field)));
            return t;
        case kRecF32:
            std::snprintf(t, sizeof t, "%g", double(r->GetF32(field)));
            return t;
        case kRecString:
            return Esc(r->GetString(field).CStr());
        case kRecList:
            // Lists as their length: enough to compare what a write carried.
            return std::to_string(r->GetListCount(field));
        case kRecArray: {
            // Numeric arrays as the hex of their bytes in memory order.
            const u8 elem = r->Desc(field).elemType;
            const size_t size = elem == kRecU8 ? 1 : elem == kRecString ? 0 : 4;
            const u8* p = static_cast<const u8*>(r->GetArrayData(field));
            if (!size) return "-";
            std::string hex;
            const size_t n = size_t(r->GetArrayCount(field)) * size;
            hex.reserve(2 * n);
            for (size_t i = 0; p && i < n; ++i) {
                std::snprintf(t, sizeof t, "%02x", unsigned(p[i]));
                hex += t;
            }
            return hex.empty() ? "-" : hex;
        }
        default:
            return "-";
    }
}

CRecordDoc* DocOf(Device& d, const std::string& path) {
    if (!d.channels) return nullptr;
    auto it = d.channels->docs.find(path);
    return it == d.channels->docs.end() ? nullptr : it->second.get();
}

}  // namespace

CRecordDoc* ChannelDoc(Device& d, const std::string& path) {
    return DocOf(d, path);
}

void InstallChannels(Sim& sim, Device& d) {
    RegisterAllRecordKinds();
    d.channels = std::make_shared<ChannelRecords>();
    for (const ChannelKind& c : kChannels) {
        const CRecordSchema* schema = CRecordSchema::Find(c.family, c.kind);
        if (!schema) continue;
        d.channels->docs[c.path] = std::make_unique<CRecordDoc>(CRecord::New(schema));
        const std::string base = c.path;
        CmdFile& f = d.cmds[base];
        // "/" reads the whole record; a field path reads or writes that one field.
        f.readAt = [base](Device& dev, const std::string& rest, Bytes* out) {
            CRecordDoc* doc = DocOf(dev, base);
            if (!doc || !doc->Root()) return false;
            LDataBuf buf;
            CMemStrm s(buf);
            if (rest == "/") {
                PropRecord::Write(&s, doc->Root());
            } else {
                u8 field;
                u32 index;
                CRecord* r = LRecPath::Resolve(rest.c_str(), doc->Root(), &field, &index);
                if (!r || !LRecPath::WriteValue(r, field, index, &s)) return false;
            }
            s.Commit();
            if (s.Error()) return false;
            *out = StreamBytes(buf, s);
            return true;
        };
        f.writeAt = [base, &sim](Device& dev, const std::string& rest, const Bytes& in) {
            CRecordDoc* doc = DocOf(dev, base);
            std::string line = "chan dev=" + std::to_string(dev.serno) +
                               " op=write path=" + Esc(base + rest) +
                               " size=" + std::to_string(in.size());
            u8 field = 0;
            u32 index = 0;
            CRecord* r = doc && doc->Root()
                             ? LRecPath::Resolve(rest.c_str(), doc->Root(), &field, &index)
                             : nullptr;
            Bytes copy = in;
            CMemStrm s(copy.empty() ? nullptr : copy.data(), u32(copy.size()));
            const bool ok = r && LRecPath::ReadValue(r, field, index, &s);
            sim.Note(line + " ok=" + (ok ? "1" : "0") +
                     " value=" + (ok ? ValueText(r, field) : "-"));
            return ok ? 0 : 2;
        };
    }
    // A poll answers the state record, unless set-status gave a body of its own.
    d.cmds["/.cmd/udkvtstat"].read = [](Device& dev, Bytes* out) {
        CRecordDoc* doc = DocOf(dev, "/.cmd/udkvtstat");
        if (dev.statusSet || !doc || !doc->Root()) {
            *out = dev.status;
            return true;
        }
        CRecord* state = CRecord::Copy(doc->Root(), nullptr);
        if (!state) return false;
        if (state->GetString(DvssF::crtc).IsEmpty())
            state->SetString(nullptr, DvssF::crtc, LString(ClockText().c_str()));
        LDataBuf buf;
        CMemStrm s(buf);
        PropRecord::Write(&s, state);
        s.Commit();
        CRecord::Destroy(state);
        if (s.Error()) return false;
        *out = StreamBytes(buf, s);
        return true;
    };
}

CRecord* ChannelRecord(Device& d, const std::string& path) {
    CRecordDoc* doc = DocOf(d, path);
    return doc ? doc->Root() : nullptr;
}

void AddChannelCommands(Control& control, Sim& sim) {
    control.Add("chan-get", "chan-get serno=N path=/.cmd/CHANNEL/FIELD...",
                [&sim](Args& a, const Control::Emit&) {
                    Device* d = sim.FindDevice(
                        uint32_t(std::strtoul(a.named["serno"].c_str(), nullptr, 10)));
                    if (!d) return std::string("err no such device");
                    const std::string path = a.named["path"];
                    for (const ChannelKind& c : kChannels) {
                        const std::string base = c.path;
                        if (path.rfind(base + "/", 0) != 0) continue;
                        CRecordDoc* doc = DocOf(*d, base);
                        u8 field;
                        u32 index;
                        CRecord* r = doc ? LRecPath::Resolve(path.c_str() + base.size(),
                                                             doc->Root(), &field, &index)
                                         : nullptr;
                        if (!r) return std::string("err no such field");
                        return "ok value=" + ValueText(r, field);
                    }
                    return std::string("err no such channel");
                });
    control.Add(
        "chan-set", "chan-set serno=N path=/.cmd/CHANNEL/FIELD value=V",
        [&sim](Args& a, const Control::Emit&) {
            Device* d =
                sim.FindDevice(uint32_t(std::strtoul(a.named["serno"].c_str(), nullptr, 10)));
            if (!d) return std::string("err no such device");
            const std::string path = a.named["path"], value = a.named["value"];
            for (const ChannelKind& c : kChannels) {
                const std::string base = c.path;
                if (path.rfind(base + "/", 0) != 0) continue;
                CRecordDoc* doc = DocOf(*d, base);
                u8 field;
                u32 index;
                CRecord* r =
                    doc ? LRecPath::Resolve(path.c_str() + base.size(), doc->Root(), &field, &index)
                        : nullptr;
                if (!r || field == kRecSelf || field >= r->FieldCount())
                    return std::string("err no such field");
                switch (r->Desc(field).type) {
                    case kRecI32:
                        r->SetI32(nullptr, field, i32(std::strtol(value.c_str(), nullptr, 10)));
                        break;
                    case kRecU32:
                        r->SetU32(nullptr, field, u32(std::strtoul(value.c_str(), nullptr, 10)));
                        break;
                    case kRecU8:
                        r->SetU8(nullptr, field, u8(std::strtoul(value.c_str(), nullptr, 10)));
                        break;
                    case kRecF32:
                        r->SetF32(nullptr, field, 0, std::strtof(value.c_str(), nullptr));
                        break;
                    case kRecString:
                        r->SetString(nullptr, field, LString(value.c_str()));
                        break;
                    case kRecArray: {
                        // Comma-separated numbers; empty clears the array.
                        const u8 elem = r->Desc(field).elemType;
                        if (elem != kRecI32 && elem != kRecU32)
                            return std::string("err array of that type");
                        std::vector<u32> items;
                        for (const char* p = value.c_str(); *p;) {
                            char* end = nullptr;
                            const long v = std::strtol(p, &end, 10);
                            if (end == p) return std::string("err not a number list");
                            items.push_back(u32(i32(v)));
                            p = *end == ',' ? end + 1 : end;
                        }
                        r->SetArray(nullptr, field, items.data(), u32(items.size()));
                        return "ok count=" + std::to_string(items.size());
                    }
                    default:
                        return std::string("err field is not a scalar");
                }
                return "ok value=" + ValueText(r, field);
            }
            return std::string("err no such channel");
        });
    // A whole record, as one record chunk in a host file, becomes the record of
    // a channel (a device that already holds a show).
    control.Add("chan-load", "chan-load serno=N path=/.cmd/CHANNEL file=F",
                [&sim](Args& a, const Control::Emit&) {
                    Device* d = sim.FindDevice(
                        uint32_t(std::strtoul(a.named["serno"].c_str(), nullptr, 10)));
                    if (!d) return std::string("err no such device");
                    CRecordDoc* doc = DocOf(*d, a.named["path"]);
                    if (!doc) return std::string("err no such channel");
                    FILE* f = std::fopen(a.named["file"].c_str(), "rb");
                    if (!f) return std::string("err cannot read file");
                    Bytes bytes;
                    char block[65536];
                    for (size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;)
                        bytes.insert(bytes.end(), block, block + n);
                    std::fclose(f);
                    CMemStrm strm(bytes.data(), u32(bytes.size()));
                    if (!PropRecord::ReadFromStream(&strm, doc))
                        return std::string("err not a record of that channel");
                    return "ok size=" + std::to_string(bytes.size());
                });
}

}  // namespace simdev
