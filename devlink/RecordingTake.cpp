#include "devlink/RecordingTake.h"

#include <string>
#include <string_view>

#include "base/CStrm.h"
#include "base/Paths.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/PropRecord.h"
#include "records/RecordKinds.h"

namespace {

constexpr u8 kRecording = 3;

}  // namespace

LString RecordingTakeName(const CRecord* ssta) {
    if (!ssta || ssta->GetU8(SstaF::stat) != kRecording) return LString();
    const LString path = ssta->GetString(SstaF::cflp);
    // A take kept elsewhere (another card, a stick) is no file of this folder.
    const std::string folder = std::string(kRecordingsFolder) + "/";
    const std::string_view p = path.View();
    if (p.size() <= folder.size() || p.substr(0, folder.size()) != folder) return LString();
    const std::string_view leaf = p.substr(folder.size());
    if (!IsDeviceFileName(leaf.data(), u32(leaf.size()))) return LString();
    return LString(leaf.data(), u32(leaf.size()));
}

bool TakeFromStatusReply(CStrm* reply, LString* take) {
    *take = LString();
    RegisterAllRecordKinds();
    const CRecordSchema* schema = CRecordSchema::Find(kFamKvt, kKindSsta);
    if (!reply || !schema) return false;
    // A field left out would read as its default: a device at rest.
    if (!PropRecord::ReplyWhole(reply) || !PropRecord::ReplyHoldsValues(reply, schema))
        return false;
    CRecordDoc status(CRecord::New(schema));
    u8 field;
    u32 index;
    CRecord* target = LRecPath::Resolve("/", status.Root(), &field, &index);
    reply->SetPosition(0);
    if (!target || !LRecPath::ReadValue(target, field, index, reply)) return false;
    *take = RecordingTakeName(status.Root());
    return true;
}
