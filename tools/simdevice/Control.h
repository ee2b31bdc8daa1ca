#pragma once
// The line protocol that drives kvsimdev: one command per line, answered by
// "ok ..." or "err ...", optionally preceded by data lines.

#include "tools/simdevice/SimDevice.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace simdev {

struct Args {
    std::vector<std::string> words;            // after the command name
    std::map<std::string, std::string> named;  // key=value
    bool Has(const std::string& k) const { return named.count(k) != 0; }
};

class Control {
public:
    using Emit = std::function<void(const std::string&)>;
    // A handler answers the final line ("ok ..." / "err ...") and may emit data lines before it.
    using Handler = std::function<std::string(Args&, const Emit&)>;

    Control(Sim& sim, Loop& loop);
    // Registers a command; later features add theirs through this.
    void Add(const std::string& name, const std::string& usage, Handler h);
    // Runs one line; every output line goes to `out`.
    void RunLine(const std::string& line, const Emit& out);

private:
    struct Cmd {
        std::string usage;
        Handler run;
    };
    void AddBuiltins();
    Sim& fSim;
    Loop& fLoop;
    std::map<std::string, Cmd> fCmds;
};

// Splits "name a b k=v" into the name and Args; %XX escapes in values are decoded.
std::string ParseLine(const std::string& line, Args* args);

}  // namespace simdev
