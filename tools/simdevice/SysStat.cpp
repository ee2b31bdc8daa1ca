#include "tools/simdevice/SysStat.h"

#include <cstdlib>

#include "records/PrefNodes.h"
#include "tools/simdevice/Channels.h"

namespace simdev {

namespace {

// The node that holds the key's last part, made when create is set; name gets
// that last part. Null for an empty part ("a//b", a trailing "/").
CRecord* NodeOfKey(CRecord* root, const std::string& key, bool create, std::string* name) {
    CRecord* node = root;
    size_t start = 0;
    for (size_t slash; node && (slash = key.find('/', start)) != std::string::npos;
         start = slash + 1) {
        const std::string part = key.substr(start, slash - start);
        if (part.empty()) return nullptr;
        node = create ? NodeGetOrCreate(node, nullptr, part.c_str())
                      : NodeGetSubNode(node, part.c_str());
    }
    *name = key.substr(start);
    return name->empty() ? nullptr : node;
}

CRecord* SysStat(Sim& sim, Args& a, std::string* error) {
    Device* d = sim.FindDevice(uint32_t(std::strtoul(a.named["serno"].c_str(), nullptr, 10)));
    CRecord* root = d ? ChannelRecord(*d, "/.cmd/udsysstat") : nullptr;
    if (!root) *error = d ? "err no system status" : "err no such device";
    return root;
}

}  // namespace

void AddSysStatCommands(Control& control, Sim& sim) {
    control.Add("sysstat-set", "sysstat-set serno=N key=NODE/NAME value=V (empty: removes)",
                [&sim](Args& a, const Control::Emit&) {
                    std::string error, name;
                    CRecord* root = SysStat(sim, a, &error);
                    if (!root) return error;
                    const std::string value = a.named["value"];
                    CRecord* node = NodeOfKey(root, a.named["key"], !value.empty(), &name);
                    if (!node && !value.empty()) return std::string("err bad key");
                    if (node) NodeSet(node, nullptr, name.c_str(), LString(value.c_str()));
                    return "ok value=" + Esc(value);
                });
    control.Add("sysstat-get", "sysstat-get serno=N key=NODE/NAME",
                [&sim](Args& a, const Control::Emit&) {
                    std::string error, name;
                    CRecord* root = SysStat(sim, a, &error);
                    if (!root) return error;
                    CRecord* node = NodeOfKey(root, a.named["key"], false, &name);
                    LString value;
                    if (!node || NodeFind(node, name.c_str(), &value) < 0)
                        return std::string("err no such value");
                    return "ok value=" + Esc(value.CStr());
                });
}

}  // namespace simdev
