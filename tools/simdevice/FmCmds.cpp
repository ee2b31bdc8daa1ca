#include "tools/simdevice/FmCmds.h"

#include <dirent.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>

namespace simdev {

namespace {

struct Copy {
    std::string src, dst;  // device paths
    uint32_t percent = 0;
};

struct FmState {
    std::string ums = "ok";    // ok, absent, unreadable
    uint32_t step = 50;        // percent a copy moves on per status poll
    uint32_t mkfsError = 0;    // not 0: formatting answers this ERROR code
    std::deque<std::string> statusReplies;  // scripted, one per poll, before the copy's own
    bool copying = false;
    Copy copy;
};

std::map<uint32_t, FmState>& States() {
    static std::map<uint32_t, FmState> states;
    return states;
}

bool Arg(const std::string& rest, std::string* a) {
    if (rest.size() < 2 || rest.compare(0, 2, "//") != 0) return false;
    *a = rest.substr(2);
    return true;
}

// "//A//B": the two device paths (each starting with "/").
bool Args2(const std::string& rest, std::string* a, std::string* b) {
    std::string all;
    if (!Arg(rest, &all)) return false;
    // The second argument starts at the first "//" followed by "/" after the first path.
    for (size_t i = 1; i + 2 < all.size(); ++i) {
        if (all.compare(i, 2, "//") == 0 && all[i + 2] == '/') {
            *a = all.substr(0, i);
            *b = all.substr(i + 2);
            return true;
        }
    }
    return false;
}

// The USB storage itself ("/ums") or a path below it; answers 0 or a TFTP code.
int MapAny(const Device& d, const std::string& path, std::string* host) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p == "/ums" || p == "/sdc") {
        *host = d.root + p;
        return 0;
    }
    return MapDevicePath(d, p, host);
}

bool IsUms(const std::string& path) {
    return path == "/ums" || path.rfind("/ums/", 0) == 0;
}

void Log(Sim& sim, const Device& d, const std::string& op, const std::string& path,
         const std::string& to, int result) {
    sim.Note("fm dev=" + std::to_string(d.serno) + " op=" + op + " path=" + Esc(path) +
             (to.empty() ? "" : " to=" + Esc(to)) + " result=" + std::to_string(result));
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

bool RemoveTree(const std::string& host) {
    struct stat st;
    if (lstat(host.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* dir = opendir(host.c_str())) {
            while (dirent* e = readdir(dir)) {
                const std::string n = e->d_name;
                if (n != "." && n != "..") RemoveTree(host + "/" + n);
            }
            closedir(dir);
        }
        return rmdir(host.c_str()) == 0;
    }
    return unlink(host.c_str()) == 0;
}

// A folder of the USB storage as the device lists it: "." and "..", folders with
// an empty second column, files with their size.
bool ListUms(Device& d, const std::string& folder, Bytes* out) {
    FmState& s = States()[d.serno];
    if (s.ums != "ok") return false;
    std::string host;
    if (MapAny(d, folder, &host) != 0) return false;
    DIR* dir = opendir(host.c_str());
    if (!dir) return false;
    std::vector<std::string> lines = {".,", "..,"};
    std::vector<std::string> entries;
    while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || name.rfind(".kvsimdev-", 0) == 0) continue;
        struct stat st;
        if (lstat((host + "/" + name).c_str(), &st) != 0) continue;
        entries.push_back(S_ISDIR(st.st_mode)
                              ? CsvField(name) + ","
                              : CsvField(name) + "," + std::to_string(st.st_size) + ",f");
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end());
    lines.insert(lines.end(), entries.begin(), entries.end());
    std::string body;
    for (const std::string& l : lines) body += l + "\r\n";
    out->assign(body.begin(), body.end());
    return true;
}

bool CopyFile(const std::string& from, const std::string& to) {
    FILE* in = fopen(from.c_str(), "rb");
    if (!in) return false;
    const size_t slash = to.rfind('/');
    if (slash != std::string::npos) mkdir(to.substr(0, slash).c_str(), 0777);
    FILE* out = fopen(to.c_str(), "wb");
    if (!out) {
        fclose(in);
        return false;
    }
    char buf[65536];
    size_t n;
    bool ok = true;
    while ((n = fread(buf, 1, sizeof buf, in)) > 0) ok = ok && fwrite(buf, 1, n, out) == n;
    fclose(in);
    return fclose(out) == 0 && ok;
}

}  // namespace

void InstallFmCmds(Sim& sim, Device& d) {
    States().erase(d.serno);
    auto earlier = d.cmds["/.cmd/fmls"].readAt;
    d.cmds["/.cmd/fmls"].readAt = [earlier](Device& dev, const std::string& rest, Bytes* out) {
        std::string folder;
        if (Arg(rest, &folder) && IsUms(folder)) return ListUms(dev, folder, out);
        return earlier && earlier(dev, rest, out);
    };
    d.cmds["/.cmd/fmrm"].writeAt = [&sim](Device& dev, const std::string& rest, const Bytes&) {
        std::string p, host;
        int r = !Arg(rest, &p) ? 2 : MapDevicePath(dev, p, &host);
        struct stat st;
        if (r == 0 && IsUms(p) && States()[dev.serno].ums != "ok") r = 2;
        if (r == 0 && lstat(host.c_str(), &st) != 0) r = 1;
        if (r == 0 && !(S_ISDIR(st.st_mode) ? rmdir(host.c_str()) == 0 : unlink(host.c_str()) == 0))
            r = 2;
        Log(sim, dev, "rm", p, "", r);
        return r;
    };
    d.cmds["/.cmd/fmmv"].writeAt = [&sim](Device& dev, const std::string& rest, const Bytes&) {
        std::string a, b, ha, hb;
        int r = !Args2(rest, &a, &b) ? 2 : MapDevicePath(dev, a, &ha);
        if (r == 0) r = MapDevicePath(dev, b, &hb);
        struct stat st;
        if (r == 0 && lstat(ha.c_str(), &st) != 0) r = 1;
        // What a real device does with a taken name is its own affair: this one replaces.
        if (r == 0 && rename(ha.c_str(), hb.c_str()) != 0) r = 2;
        Log(sim, dev, "mv", a, b, r);
        return r;
    };
    d.cmds["/.cmd/fmmkdir"].writeAt = [&sim](Device& dev, const std::string& rest, const Bytes&) {
        std::string p, host;
        int r = !Arg(rest, &p) ? 2 : MapDevicePath(dev, p, &host);
        if (r == 0 && IsUms(p) && States()[dev.serno].ums != "ok") r = 2;
        if (r == 0 && mkdir(host.c_str(), 0777) != 0) r = errno == EEXIST ? 6 : 2;
        Log(sim, dev, "mkdir", p, "", r);
        return r;
    };
    d.cmds["/.cmd/fmmkfs"].writeAt = [&sim](Device& dev, const std::string& rest, const Bytes&) {
        std::string p;
        FmState& s = States()[dev.serno];
        int r = !Arg(rest, &p) || p != "ums" ? 2 : int(s.mkfsError);
        if (r == 0 && s.ums == "absent") r = 2;
        if (r == 0) {
            const std::string host = dev.root + "/ums";
            RemoveTree(host);
            mkdir(host.c_str(), 0777);
            s.ums = "ok";
        }
        Log(sim, dev, "mkfs", p, "", r);
        return r;
    };
    d.cmds["/.cmd/fmcp"].writeAt = [&sim](Device& dev, const std::string& rest, const Bytes&) {
        std::string a, b, ha, hb;
        FmState& s = States()[dev.serno];
        int r = !Args2(rest, &a, &b) ? 2 : MapDevicePath(dev, a, &ha);
        if (r == 0) r = MapDevicePath(dev, b, &hb);
        struct stat st;
        if (r == 0 && (lstat(ha.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) r = 1;
        if (r == 0 && s.ums != "ok") r = 2;
        if (r == 0) {
            s.copying = true;
            s.copy = Copy{a, b, 0};
        }
        Log(sim, dev, "cp", a, b, r);
        return r;
    };
    d.cmds["/.cmd/fmcpstatus"].readAt = [&sim](Device& dev, const std::string& rest, Bytes* out) {
        std::string a, b;
        FmState& s = States()[dev.serno];
        Args2(rest, &a, &b);
        std::string reply;
        bool ok = true;
        if (!s.statusReplies.empty()) {
            reply = s.statusReplies.front();
            s.statusReplies.pop_front();
            ok = reply != "error";
        } else if (!s.copying || s.copy.src != a || s.copy.dst != b) {
            ok = false;
        } else {
            s.copy.percent = std::min<uint32_t>(100, s.copy.percent + s.step);
            reply = std::to_string(s.copy.percent);
            if (s.copy.percent >= 100) {
                std::string ha, hb;
                if (MapDevicePath(dev, a, &ha) == 0 && MapDevicePath(dev, b, &hb) == 0)
                    CopyFile(ha, hb);
                s.copying = false;
            }
        }
        Log(sim, dev, "cpstatus", a, b, ok ? 0 : 1);
        if (!ok) return false;
        out->assign(reply.begin(), reply.end());
        return true;
    };
    d.cmds["/.cmd/fmcpstop"].writeAt = [&sim](Device& dev, const std::string& rest, const Bytes&) {
        std::string a, b;
        FmState& s = States()[dev.serno];
        const int r = Args2(rest, &a, &b) ? 0 : 2;
        s.copying = false;
        Log(sim, dev, "cpstop", a, b, r);
        return r;
    };
}

void AddFmCommands(Control& control, Sim& sim) {
    auto device = [&sim](Args& a) {
        return sim.FindDevice(uint32_t(std::strtoul(a.named["serno"].c_str(), nullptr, 10)));
    };
    control.Add("fm-set", "fm-set serno=N [ums=ok|absent|unreadable] [cp-step=PERCENT] [mkfs-error=CODE]",
                [device](Args& a, const Control::Emit&) {
                    Device* d = device(a);
                    if (!d) return std::string("err no such device");
                    FmState& s = States()[d->serno];
                    if (a.Has("ums")) s.ums = a.named["ums"];
                    if (a.Has("cp-step"))
                        s.step = uint32_t(std::strtoul(a.named["cp-step"].c_str(), nullptr, 10));
                    if (a.Has("mkfs-error"))
                        s.mkfsError =
                            uint32_t(std::strtoul(a.named["mkfs-error"].c_str(), nullptr, 10));
                    return std::string("ok");
                });
    control.Add("fm-cpstatus", "fm-cpstatus serno=N text=T | error=1",
                [device](Args& a, const Control::Emit&) {
                    Device* d = device(a);
                    if (!d) return std::string("err no such device");
                    States()[d->serno].statusReplies.push_back(a.Has("error") ? "error"
                                                                              : a.named["text"]);
                    return std::string("ok");
                });
    control.Add("fm-clear", "fm-clear serno=N", [device](Args& a, const Control::Emit&) {
        Device* d = device(a);
        if (!d) return std::string("err no such device");
        States().erase(d->serno);
        return std::string("ok");
    });
}

}  // namespace simdev
