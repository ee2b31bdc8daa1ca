#include "base/CDropFileRef.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "base/Paths.h"

CDropFileRef::CDropFileRef(const LString& fileUrl) : fPath(fileUrl) {
    LString local;
    FileUrlToPosixPath(&local, fileUrl);
    if (local.IsEmpty()) {
        // A path naming a volume that is not mounted: its folder is gone.
        fStatus = fileUrl.View().starts_with("file:///") ? kFolderMissing : kOther;
        return;
    }
    struct stat st;
    fAlias = ::lstat(local.CStr(), &st) == 0 && S_ISLNK(st.st_mode) ? 1 : 0;
    char resolved[PATH_MAX];
    if (::realpath(local.CStr(), resolved)) {
        LString url;
        PosixPathToFileUrl(&url, LString(resolved));
        if (!url.IsEmpty()) fPath = url;
        fStatus = url.IsEmpty() ? kOther : kResolved;
        return;
    }
    if (errno != ENOENT && errno != ENOTDIR) {
        fStatus = kOther;
        return;
    }
    // Missing: the file itself, or a folder on the way to it.
    std::string folder(local.View());
    const size_t slash = folder.rfind('/');
    folder = slash == 0 ? "/" : folder.substr(0, slash);
    fStatus =
        ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? kFileMissing : kFolderMissing;
}
