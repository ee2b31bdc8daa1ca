// URL and application-path parsing on arbitrary text: formatting is stable, and a
// URL never turns into a local path that climbs out of its folders.
#include <cstdlib>
#include <string>

#include "base/Paths.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckLocalPath(const LString& local) {
    std::string p(local.View());
    if (p.empty()) return;
    Check(p[0] == '/');
    Check(p.find('\0') == std::string::npos);
    size_t i = 1;
    while (i < p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string seg = p.substr(i, j - i);
        Check(!seg.empty() && seg != "." && seg != "..");
        i = j + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    std::string all(reinterpret_cast<const char*>(data), size);
    size_t split = all.find('\n');
    std::string text = all.substr(0, split);
    std::string other = split == std::string::npos ? std::string() : all.substr(split + 1);
    text = text.c_str();  // the parsers take zero-terminated text
    other = other.c_str();

    LString once, twice;
    CUrl(text.c_str()).ToString(&once);
    CUrl(once.CStr()).ToString(&twice);
    Check(once == twice);

    CUrl rel(text.c_str());
    rel.Resolve(CUrl(other.c_str()), !other.empty() && other.back() == '/');
    LString resolved;
    rel.ToString(&resolved);

    LString local;
    CheckLocalPath(FileUrlToPosixPath(&local, LString(text.c_str())));
    CheckLocalPath(FileUrlToPosixPath(&local, resolved));

    LString path(text.c_str());
    NumberedName(&path, 7);
    ReplaceLeafName(&path, other.c_str());
    LString folder, name, ext;
    SplitFolderAndName(&folder, text.c_str(), &name);
    GetExtensionLower(&ext, text.c_str());
    const char* dot = FindExtension(text.c_str());
    Check(dot >= text.c_str() && dot <= text.c_str() + text.size());

    LString url;
    PosixPathToFileUrl(&url, LString(text.c_str()));
    if (!url.IsEmpty()) CheckLocalPath(FileUrlToPosixPath(&local, url));
    EnsureFolderPath(text.c_str(), &url, false);
    return 0;
}
