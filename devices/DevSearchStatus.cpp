#include "devices/DevSearchStatus.h"

#include <net/if.h>

#include <cstring>
#include <string>

#include "devlink/NetIf.h"
#include "framework/StdDialogs.h"

namespace {

void ReplaceAll(std::string* s, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = s->find(from, at)) != std::string::npos; at += to.size())
        s->replace(at, from.size(), to);
}

}  // namespace

LString SearchStatusText(i32 sendErrno, u32 ifIndex, u32 devices) {
    if (sendErrno != 0) {
        // The user chose no interface: the search left by the default one.
        const u32 index = ifIndex ? ifIndex : DefaultInterfaceIndex();
        char name[IF_NAMESIZE] = {};
        std::string where = index && if_indextoname(index, name) ? name : "";
        std::string text(StdDialogText("KVSDEVWIN", where.empty() ? 5 : 4).View());
        ReplaceAll(&text, "^0", where);
        ReplaceAll(&text, "^1", std::strerror(sendErrno));
        return LString(text.c_str());
    }
    if (devices == 0) return StdDialogText("KVSDEVWIN", 3);
    return LString();
}
