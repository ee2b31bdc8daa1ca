#include "tools/simdevice/Control.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace simdev {

static std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && isxdigit((unsigned char)s[i + 1]) &&
            isxdigit((unsigned char)s[i + 2])) {
            out += char(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string ParseLine(const std::string& line, Args* args) {
    std::istringstream in(line);
    std::string name, tok;
    in >> name;
    while (in >> tok) {
        size_t eq = tok.find('=');
        if (eq == std::string::npos || eq == 0)
            args->words.push_back(tok);
        else
            args->named[tok.substr(0, eq)] = Unescape(tok.substr(eq + 1));
    }
    return name;
}

// Whole-string unsigned decimal; false on anything else.
static bool Num(const std::string& s, uint64_t* v, uint64_t max = UINT32_MAX) {
    if (s.empty() || s.size() > 19) return false;
    uint64_t r = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        r = r * 10 + uint64_t(c - '0');
    }
    if (r > max) return false;
    *v = r;
    return true;
}

static int OpFromText(std::string s) {
    for (char& c : s) c = char(toupper((unsigned char)c));
    for (int op = kRRQ; op <= kOACK; ++op)
        if (s == OpName(op)) return op;
    uint64_t v = 0;
    return Num(s, &v, 6) && v >= 1 ? int(v) : -1;
}

Control::Control(Sim& sim, Loop& loop) : fSim(sim), fLoop(loop) {
    AddBuiltins();
}

void Control::Add(const std::string& name, const std::string& usage, Handler h) {
    fCmds[name] = Cmd{usage, std::move(h)};
}

void Control::RunLine(const std::string& line, const Emit& out) {
    Args args;
    std::string name = ParseLine(line, &args);
    if (name.empty() || name[0] == '#') return;
    auto it = fCmds.find(name);
    if (it == fCmds.end()) {
        out("err unknown command " + name);
        return;
    }
    out(it->second.run(args, out));
}

// Reads a numeric argument into *dst when present. Answers an error text or "".
static std::string Opt(const Args& a, const char* key, uint64_t* dst, uint64_t max = UINT32_MAX) {
    auto it = a.named.find(key);
    if (it == a.named.end()) return "";
    if (!Num(it->second, dst, max)) return std::string("err bad ") + key;
    return "";
}

void Control::AddBuiltins() {
    Add("help", "help", [this](Args&, const Emit& out) {
        for (auto& [n, c] : fCmds) out("usage " + c.usage);
        return std::string("ok");
    });
    Add("ping", "ping", [](Args&, const Emit&) { return std::string("ok"); });
    Add("quit", "quit", [this](Args&, const Emit&) {
        fLoop.Stop();
        return std::string("ok bye");
    });

    Add("add-device",
        "add-device serno=N addr=A.B.C.D[/LEN] root=DIR [port=61007|0] [listen=any|addr]",
        [this](Args& a, const Emit&) -> std::string {
            uint64_t serno = 0, port = 61007, len = 24;
            if (!a.Has("serno") || !Num(a.named["serno"], &serno)) return "err serno= required";
            std::string addr = a.named["addr"];
            size_t slash = addr.find('/');
            if (slash != std::string::npos) {
                if (!Num(addr.substr(slash + 1), &len, 32)) return "err bad prefix length";
                addr.resize(slash);
            }
            uint32_t ip = 0;
            if (!ParseIp(addr, &ip)) return "err addr= must be a dotted IPv4 address";
            if (std::string e = Opt(a, "port", &port, 65535); !e.empty()) return e;
            int any = -1;
            if (a.Has("listen")) {
                if (a.named["listen"] != "any" && a.named["listen"] != "addr")
                    return "err listen= is any or addr";
                any = a.named["listen"] == "any";
            }
            uint32_t mask = len == 0 ? 0 : uint32_t(0xffffffffu << (32 - len));
            uint16_t bound = 0;
            std::string err =
                fSim.AddDevice(uint32_t(serno), ip, mask, a.named["root"], int(port), any, &bound);
            if (!err.empty()) return "err " + err;
            return "ok serno=" + std::to_string(serno) + " addr=" + IpText(ip) +
                   " port=" + std::to_string(bound);
        });

    Add("remove-device", "remove-device serno=N", [this](Args& a, const Emit&) -> std::string {
        uint64_t serno = 0;
        if (!Num(a.named["serno"], &serno)) return "err serno= required";
        std::string err = fSim.RemoveDevice(uint32_t(serno));
        return err.empty() ? "ok" : "err " + err;
    });

    Add("devices", "devices", [this](Args&, const Emit& out) {
        for (Device* d : fSim.Devices())
            out("device serno=" + std::to_string(d->serno) + " addr=" + IpText(d->ip) +
                " port=" + std::to_string(d->port) + " listen=" + (d->listenAny ? "any" : "addr") +
                " root=" + Esc(d->root));
        return std::string("ok count=") + std::to_string(fSim.Devices().size());
    });

    Add("set",
        "set serno=N [rto=MS] [retries=N] [window=N] [maxblk=N] [blksize-reply=N] "
        "[options=obey|ignore] "
        "[idle=MS] [pause-ms=MS pause-every=BYTES [pause-seed=S]] [claim=SERNO] [trickle-ms=MS]",
        [this](Args& a, const Emit&) -> std::string {
            uint64_t serno = 0;
            if (!Num(a.named["serno"], &serno)) return "err serno= required";
            Device* d = fSim.FindDevice(uint32_t(serno));
            if (!d) return "err no device " + std::to_string(serno);
            DeviceSettings s = d->set;
            uint64_t v = 0;
            struct {
                const char* key;
                uint32_t* field;
                uint64_t lo, hi;
            } nums[] = {{"rto", &s.rtoMs, 1, 600000},
                        {"retries", &s.retries, 0, 1000},
                        {"window", &s.window, 1, 1000},
                        {"maxblk", &s.maxBlk, 8, 65464},
                        {"blksize-reply", &s.blkReply, 0, 65535},
                        {"idle", &s.idleMs, 1, 3600000},
                        {"pause-ms", &s.pauseMs, 0, 600000},
                        {"pause-every", &s.pauseEvery, 0, UINT32_MAX},
                        {"claim", &s.claim, 0, UINT32_MAX},
                        {"trickle-ms", &s.trickleMs, 0, 600000}};
            for (auto& n : nums) {
                if (!a.Has(n.key)) continue;
                if (!Num(a.named[n.key], &v) || v < n.lo || v > n.hi)
                    return std::string("err bad ") + n.key;
                *n.field = uint32_t(v);
            }
            if (a.Has("options")) {
                if (a.named["options"] != "obey" && a.named["options"] != "ignore")
                    return "err options= is obey or ignore";
                s.ignoreOptions = a.named["options"] == "ignore";
            }
            if (std::string e = Opt(a, "pause-seed", &s.pauseSeed, UINT64_MAX - 1); !e.empty())
                return e;
            d->set = s;
            return "ok";
        });

    Add("set-status", "set-status serno=N (text=T | hex=HEX | file=PATH | size=BYTES)",
        [this](Args& a, const Emit&) -> std::string {
            uint64_t serno = 0;
            if (!Num(a.named["serno"], &serno)) return "err serno= required";
            Device* d = fSim.FindDevice(uint32_t(serno));
            if (!d) return "err no device " + std::to_string(serno);
            Bytes body;
            if (a.Has("text")) {
                body.assign(a.named["text"].begin(), a.named["text"].end());
            } else if (a.Has("hex")) {
                const std::string& h = a.named["hex"];
                if (h.size() % 2) return "err hex= needs pairs of digits";
                for (size_t i = 0; i < h.size(); i += 2) {
                    if (!isxdigit((unsigned char)h[i]) || !isxdigit((unsigned char)h[i + 1]))
                        return "err bad hex";
                    body.push_back(uint8_t(std::strtol(h.substr(i, 2).c_str(), nullptr, 16)));
                }
            } else if (a.Has("file")) {
                std::ifstream f(a.named["file"], std::ios::binary);
                if (!f) return "err cannot read " + a.named["file"];
                body.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
            } else if (a.Has("size")) {
                // An answer far larger than any state, as a stranger may send.
                uint64_t n = 0;
                if (!Num(a.named["size"], &n) || n > (uint64_t(1) << 30)) return "err bad size";
                body.assign(size_t(n), uint8_t('k'));
            } else {
                return "err text=, hex=, file= or size= required";
            }
            d->status = body;
            d->statusSet = true;
            return "ok bytes=" + std::to_string(body.size());
        });

    Add("reply-damage",
        "reply-damage serno=N path=P (half=1 | cut=BYTES | length=U32 | extra=BYTES | "
        "values=BYTES|none | unknown=BYTES) [count=N] "
        "| reply-damage serno=N clear",
        [this](Args& a, const Emit&) -> std::string {
            uint64_t serno = 0;
            if (!Num(a.named["serno"], &serno)) return "err serno= required";
            Device* d = fSim.FindDevice(uint32_t(serno));
            if (!d) return "err no device " + std::to_string(serno);
            if (!a.words.empty() && a.words[0] == "clear") {
                d->damages.clear();
                return "ok";
            }
            ReplyDamage r;
            r.path = a.named["path"];
            if (r.path.empty()) return "err path= required";
            for (const char* how : {"half", "cut", "length", "extra", "values", "unknown"}) {
                if (!a.Has(how)) continue;
                uint64_t v = 0;
                // Lengths may be given in hex (0xFFFFFFF0).
                const std::string& text = a.named[how];
                if (text == "none" && std::string(how) == "values") {
                    v = ReplyDamage::kNone;
                } else if (text.rfind("0x", 0) == 0) {
                    char* end = nullptr;
                    v = std::strtoull(text.c_str() + 2, &end, 16);
                    if (!end || *end || v > UINT32_MAX) return std::string("err bad ") + how;
                } else if (!Num(text, &v)) {
                    return std::string("err bad ") + how;
                }
                r.how = how;
                r.value = uint32_t(v);
                break;
            }
            if (r.how.empty())
                return "err half=, cut=, length=, extra=, values= or unknown= required";
            uint64_t count = 0;
            if (a.Has("count") && !Num(a.named["count"], &count)) return "err bad count";
            r.count = uint32_t(count);
            d->damages.push_back(r);
            return "ok";
        });

    Add("fault",
        "fault drop|loss|dup|delay|reorder|silence|error|empty [serno=N] [dir=in|out] [opcode=OP] "
        "[block=N|N-M] "
        "[path=P] [skip=N] [count=N] [percent=N] [seed=N] [ms=N] [copies=N] [code=N] [text=T] "
        "[from=peer|other]",
        [this](Args& a, const Emit&) -> std::string {
            if (a.words.size() != 1) return "err one action expected";
            FaultRule r;
            r.action = a.words[0];
            if (r.action == "loss") r.action = "drop";
            static const char* actions[] = {"drop",    "dup",   "delay", "reorder",
                                            "silence", "error", "empty"};
            bool known = false;
            for (const char* k : actions) known = known || r.action == k;
            if (!known) return "err unknown action " + a.words[0];
            uint64_t v = 0;
            static const char* keys[] = {"serno",  "dir",   "opcode",  "block", "path",
                                         "skip",   "count", "percent", "seed",  "ms",
                                         "copies", "code",  "text",    "from"};
            for (auto& [k, val] : a.named) {
                bool ok = false;
                for (const char* key : keys) ok = ok || k == key;
                if (!ok) return "err unknown key " + k;
            }
            if (std::string e = Opt(a, "serno", &v); !e.empty()) return e;
            r.serno = uint32_t(v);
            if (a.Has("dir")) {
                const std::string& d = a.named["dir"];
                if (d != "in" && d != "out") return "err dir= is in or out";
                r.dir = d == "in" ? 1 : 2;
            }
            if (a.Has("opcode")) {
                r.op = OpFromText(a.named["opcode"]);
                if (r.op < 0) return "err bad opcode";
            }
            if (a.Has("block")) {
                std::string b = a.named["block"];
                size_t dash = b.find('-');
                uint64_t lo = 0, hi = 0;
                if (!Num(b.substr(0, dash), &lo, 65535)) return "err bad block";
                hi = lo;
                if (dash != std::string::npos && !Num(b.substr(dash + 1), &hi, 65535))
                    return "err bad block";
                if (hi < lo) return "err bad block range";
                r.blockLo = long(lo);
                r.blockHi = long(hi);
            }
            r.path = a.Has("path") ? a.named["path"] : "";
            struct {
                const char* key;
                uint32_t* field;
                uint64_t max;
            } nums[] = {{"skip", &r.skip, UINT32_MAX}, {"count", &r.count, UINT32_MAX},
                        {"percent", &r.percent, 100},  {"ms", &r.ms, 3600000},
                        {"copies", &r.copies, 100},    {"code", &r.code, 65535}};
            for (auto& n : nums) {
                v = *n.field;
                if (std::string e = Opt(a, n.key, &v, n.max); !e.empty()) return e;
                *n.field = uint32_t(v);
            }
            v = r.seed;
            if (std::string e = Opt(a, "seed", &v, UINT64_MAX - 1); !e.empty()) return e;
            r.seed = v;
            if (a.Has("from")) {
                const std::string& f = a.named["from"];
                if (f != "peer" && f != "other") return "err from= is peer or other";
                r.fromOther = f == "other";
            }
            if (r.action == "empty" && r.dir == 1) return "err empty acts on dir=out";
            if (r.action == "empty") r.dir = 2;
            if (r.action == "delay" && !a.Has("ms")) return "err delay needs ms=";
            if (r.action == "error" && !a.Has("code")) return "err error needs code=";
            r.text = a.Has("text") ? a.named["text"] : "error";
            return "ok fault=" + std::to_string(fSim.AddFault(r));
        });

    Add("faults", "faults", [this](Args&, const Emit& out) {
        for (const FaultRule& r : fSim.Faults())
            out("fault id=" + std::to_string(r.id) + " action=" + r.action +
                " seen=" + std::to_string(r.seen) + " fired=" + std::to_string(r.fired));
        return std::string("ok count=") + std::to_string(fSim.Faults().size());
    });

    Add("fault-clear", "fault-clear [id=N]", [this](Args& a, const Emit&) -> std::string {
        uint64_t id = 0;
        if (std::string e = Opt(a, "id", &id); !e.empty()) return e;
        fSim.ClearFaults(int(id));
        return "ok";
    });

    Add("log", "log [from=N] | log clear", [this](Args& a, const Emit& out) -> std::string {
        auto& lines = fSim.LogLines();
        if (!a.words.empty() && a.words[0] == "clear") {
            lines.clear();
            return "ok";
        }
        uint64_t from = 0;
        if (std::string e = Opt(a, "from", &from); !e.empty()) return e;
        for (size_t i = size_t(from); i < lines.size(); ++i) out("log " + lines[i]);
        return "ok lines=" + std::to_string(lines.size());
    });

    Add("packet-log", "packet-log on|off", [this](Args& a, const Emit&) -> std::string {
        if (a.words.size() != 1 || (a.words[0] != "on" && a.words[0] != "off"))
            return "err usage: packet-log on|off";
        fSim.SetPacketLog(a.words[0] == "on");
        return "ok";
    });

    Add("log-file", "log-file path=FILE (empty path: stop)", [this](Args& a, const Emit&) {
        fSim.SetLogFile(a.named["path"]);
        return std::string("ok");
    });

    Add("answer-spread", "answer-spread ms=MS", [this](Args& a, const Emit&) {
        fSim.SetAnswerSpread(uint32_t(std::strtoul(a.named["ms"].c_str(), nullptr, 10)));
        return std::string("ok");
    });
    Add("xfers", "xfers", [this](Args&, const Emit&) {
        return "ok active=" + std::to_string(fSim.ActiveTransfers());
    });
    Add("traffic", "traffic", [this](Args&, const Emit&) {
        const Sim::Traffic& t = fSim.TrafficCount();
        return "ok in=" + std::to_string(t.in + fSim.UnheardIn()) +
               " out=" + std::to_string(t.out) + " held=" + std::to_string(fSim.SendsHeldBack());
    });
    Add("counters", "counters [reset]", [this](Args& a, const Emit&) {
        Sim::Counters c = fSim.Count();
        if (!a.words.empty() && a.words[0] == "reset") fSim.Count() = {};
        return "ok data-in=" + std::to_string(c.dataIn) + " data-dup=" + std::to_string(c.dataDup) +
               " pauses=" + std::to_string(c.pauses);
    });
}

}  // namespace simdev
