// A device's folder listing on arbitrary bytes, as the file lists merge it and
// as an upload is confirmed against it: every entry kept is a usable device
// file name of the list's kind, kept once; merging the same listing again
// changes nothing; a file found by name was listed with a plain decimal size.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "base/Paths.h"
#include "devlink/FileListPoller.h"
#include "devlink/UploadCheck.h"
#include "records/CRecordDoc.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

std::string Entries(const CRecord* c, u8 field) {
    std::string out;
    for (u32 i = 0; i < c->GetListCount(field); ++i) {
        const CRecord* e = c->GetListItem(field, i);
        for (u8 k : {DfifF::name, DfifF::number, DfifF::info})
            out += std::string(e->GetString(k).CStr()) + '\0';
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registered = (RegisterAllRecordKinds(), true);
    (void)registered;
    CRecordDoc doc(NewDeviceContentsRecord());
    CRecord* c = doc.Root();
    for (u32 kind : {0u, 1u}) {
        const u8 field = kind == 0 ? DctsF::recordings : DctsF::audio;
        MergeFileListing(c, kind, data, size);
        std::set<std::string> names;
        for (u32 i = 0; i < c->GetListCount(field); ++i) {
            const LString name = c->GetListItem(field, i)->GetString(DfifF::name);
            Check(IsDeviceFileName(name.CStr(), name.Length()));
            Check(names.insert(name.CStr()).second);
        }
        const std::string once = Entries(c, field);
        MergeFileListing(c, kind, data, size);
        Check(Entries(c, field) == once);
    }
    // The first line's name, looked up again.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    const std::string first = text.substr(start, text.find_first_of(",\r\n", start) - start);
    if (first.find('\0') == std::string::npos && first.find('"') == std::string::npos) {
        const CListedFile f = FindListedFile(data, size, first.c_str());
        if (f.found) Check(f.change.Length() <= size);
    }
    return 0;
}
