#include "devlink/RecordingTake.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "base/Paths.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"

namespace {

constexpr u8 kRecording = 3;
constexpr std::string_view kRecFolder = "/sdc/kevrecfiles/";

std::vector<const CRecordingTake*>& Live() {
    static std::vector<const CRecordingTake*> takes;
    return takes;
}

}  // namespace

CRecordingTake::CRecordingTake(const CReqQueue* files, CRecordDoc* status)
    : fFiles(files), fStatus(status) {
    Live().push_back(this);
}

CRecordingTake::~CRecordingTake() {
    std::vector<const CRecordingTake*>& live = Live();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

LString CRecordingTake::Name() const {
    const CRecord* ssta = fStatus ? fStatus->Root() : nullptr;
    if (!ssta || ssta->GetU8(SstaF::stat) != kRecording) return LString();
    const LString path = ssta->GetString(SstaF::cflp);
    // A take kept elsewhere (another card, a stick) is no file of this folder.
    const std::string_view p = path.View();
    if (p.size() <= kRecFolder.size() || p.substr(0, kRecFolder.size()) != kRecFolder)
        return LString();
    const std::string_view leaf = p.substr(kRecFolder.size());
    if (!IsDeviceFileName(leaf.data(), u32(leaf.size()))) return LString();
    return LString(leaf.data(), u32(leaf.size()));
}

LString RecordingTakeName(const CReqQueue* queue, u32 kind) {
    if (!queue || kind != 0) return LString();
    for (const CRecordingTake* t : Live())
        if (t->fFiles == queue) return t->Name();
    return LString();
}
