#include "tools/simdevice/FileCmds.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "base/CMemStrm.h"
#include "base/LHandle.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/PropRecord.h"

namespace simdev {

namespace {

struct SvcReply {
    int error = 0;  // not 0: the poll draws ERROR 1 ("not found") instead of a text
    std::string text;
};

struct SvcScript {
    std::vector<SvcReply> replies;
    size_t next = 0;
};

// What tests scripted for one device, by serial.
struct FileCmdState {
    bool bom = false;
    std::map<std::string, std::vector<std::string>> extraLines;  // by folder
    std::map<std::string, uint32_t> durations;                   // by device path
    std::map<std::string, SvcScript> services;                   // by name
};

std::map<uint32_t, FileCmdState>& States() {
    static std::map<uint32_t, FileCmdState> states;
    return states;
}

FileCmdState& StateOf(uint32_t serno) {
    return States()[serno];
}

// The rest after "/.cmd/xxx" is "//" and the argument.
bool Argument(const std::string& rest, std::string* arg) {
    if (rest.size() < 2 || rest.compare(0, 2, "//") != 0) return false;
    *arg = rest.substr(2);
    return true;
}

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

// One line per regular file: name, size, and a text that changes whenever the
// file does (its modification time and inode: an upload renames a new file in).
bool ListFolder(Device& d, const std::string& rest, Bytes* out) {
    std::string folder, host;
    if (!Argument(rest, &folder)) return false;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (MapDevicePath(d, folder, &host) != 0) return false;
    std::vector<std::string> lines;
    if (DIR* dir = opendir(host.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name.rfind(".kvsimdev-", 0) == 0) continue;  // an upload still arriving
            struct stat st;
            if (stat((host + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            lines.push_back(CsvField(name) + "," + std::to_string(st.st_size) + "," +
                            std::to_string(st.st_mtim.tv_sec) + "." +
                            std::to_string(st.st_mtim.tv_nsec) + "-" + std::to_string(st.st_ino));
        }
        closedir(dir);
    }
    std::sort(lines.begin(), lines.end());
    const FileCmdState& s = StateOf(d.serno);
    if (auto it = s.extraLines.find(folder); it != s.extraLines.end())
        lines.insert(lines.end(), it->second.begin(), it->second.end());
    std::string body = s.bom ? "\xEF\xBB\xBF" : "";
    for (const std::string& l : lines) body += l + "\r\n";
    out->assign(body.begin(), body.end());
    return true;
}

// A 'YKVT'/'MDIF' record chunk; a missing file is not found.
bool MediaInfo(Device& d, const std::string& rest, Bytes* out, u32* duration) {
    std::string path, host;
    struct stat st;
    if (!Argument(rest, &path) || MapDevicePath(d, path, &host) != 0 ||
        stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const FileCmdState& s = StateOf(d.serno);
    auto it = s.durations.find(path);
    const u32 dura = it != s.durations.end() ? it->second : u32(st.st_size);
    *duration = dura;
    CRecordDoc doc(CRecord::New(CRecordSchema::Find(kFamKvt, kKindMdif)));
    if (!doc.Root()) return false;
    doc.Root()->SetU32(nullptr, 0, dura);
    LDataBuf buf;
    CMemStrm strm(buf);
    PropRecord::Write(&strm, doc.Root());
    strm.Commit();
    if (strm.Error()) return false;
    out->assign(buf.Data(), buf.Data() + strm.End());
    return true;
}

// A script is found by the whole name, else by its first part ("drctrim" of
// "drctrim//a.drc//0//10").
SvcScript* ScriptOf(Device& d, const std::string& name) {
    auto& services = StateOf(d.serno).services;
    auto it = services.find(name);
    if (it == services.end()) it = services.find(name.substr(0, name.find("//")));
    return it == services.end() ? nullptr : &it->second;
}

}  // namespace

void InstallFileCmds(Sim& sim, Device& d) {
    States().erase(d.serno);
    d.cmds["/.cmd/fmls"].readAt = ListFolder;
    d.cmds["/.cmd/medinfo"].readAt = [&sim](Device& dev, const std::string& rest, Bytes* out) {
        u32 dura = 0;
        const bool ok = MediaInfo(dev, rest, out, &dura);
        std::string path;
        if (!Argument(rest, &path)) path = rest;
        sim.Note("media dev=" + std::to_string(dev.serno) + " path=" + Esc(path) +
                 (ok ? " dura=" + std::to_string(dura) : std::string(" result=missing")));
        return ok;
    };
    d.cmds["/.cmd/svcreq"].writeAt = [&sim](Device& dev, const std::string& rest,
                                            const Bytes& body) {
        std::string name;
        if (!Argument(rest, &name)) return 2;
        SvcScript* s = ScriptOf(dev, name);
        sim.Note("svc dev=" + std::to_string(dev.serno) + " op=req name=" + Esc(name) +
                 " body=" + Esc(std::string(body.begin(), body.end())));
        if (s) s->next = 0;
        return 0;
    };
    d.cmds["/.cmd/svcpol"].readAt = [&sim](Device& dev, const std::string& rest, Bytes* out) {
        std::string name;
        if (!Argument(rest, &name)) return false;
        SvcScript* s = ScriptOf(dev, name);
        SvcReply r{0, "100 done"};
        if (s && !s->replies.empty()) {
            r = s->replies[std::min(s->next, s->replies.size() - 1)];
            ++s->next;
        }
        sim.Note("svc dev=" + std::to_string(dev.serno) + " op=poll name=" + Esc(name) +
                 " reply=" + (r.error ? "error" : Esc(r.text)));
        if (r.error) return false;
        out->assign(r.text.begin(), r.text.end());
        return true;
    };
}

void AddFileCommands(Control& control, Sim& sim) {
    auto device = [&sim](Args& a) {
        return sim.FindDevice(uint32_t(std::strtoul(a.named["serno"].c_str(), nullptr, 10)));
    };
    control.Add("fmls-line", "fmls-line serno=N folder=/sdc/F text=RAW",
                [device](Args& a, const Control::Emit&) {
                    Device* d = device(a);
                    if (!d || !a.Has("folder") || !a.Has("text")) return std::string("err usage");
                    StateOf(d->serno).extraLines[a.named["folder"]].push_back(a.named["text"]);
                    return std::string("ok");
                });
    control.Add("fmls-bom", "fmls-bom serno=N on=0|1", [device](Args& a, const Control::Emit&) {
        Device* d = device(a);
        if (!d) return std::string("err no such device");
        StateOf(d->serno).bom = a.named["on"] == "1";
        return std::string("ok");
    });
    control.Add("fmls-clear", "fmls-clear serno=N", [device](Args& a, const Control::Emit&) {
        Device* d = device(a);
        if (!d) return std::string("err no such device");
        StateOf(d->serno).extraLines.clear();
        return std::string("ok");
    });
    control.Add("medinfo-set", "medinfo-set serno=N path=/sdc/F/NAME dura=N",
                [device](Args& a, const Control::Emit&) {
                    Device* d = device(a);
                    if (!d || !a.Has("path")) return std::string("err usage");
                    StateOf(d->serno).durations[a.named["path"]] =
                        uint32_t(std::strtoul(a.named["dura"].c_str(), nullptr, 10));
                    return std::string("ok");
                });
    control.Add("svc-reply", "svc-reply serno=N name=NAME text=T | error=1",
                [device](Args& a, const Control::Emit&) {
                    Device* d = device(a);
                    if (!d || !a.Has("name")) return std::string("err usage");
                    SvcReply r;
                    r.error = a.Has("error") ? 1 : 0;
                    r.text = a.named["text"];
                    StateOf(d->serno).services[a.named["name"]].replies.push_back(r);
                    return std::string("ok");
                });
    control.Add("svc-clear", "svc-clear serno=N", [device](Args& a, const Control::Emit&) {
        Device* d = device(a);
        if (!d) return std::string("err no such device");
        StateOf(d->serno).services.clear();
        return std::string("ok");
    });
}

}  // namespace simdev
