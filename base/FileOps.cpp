#include "base/FileOps.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/CharReader.h"
#include "base/Clock.h"
#include "base/Paths.h"
#include "base/Resources.h"
#include "base/TextFormat.h"

namespace {

std::string Posix(const LString& url) {
    LString p;
    FileUrlToPosixPath(&p, url);
    return std::string(p.View());
}

u32 MapErrno(int err) {
    switch (err) {
        case 0:
            return kFileDone;
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case EINVAL:
        case ELOOP:
            return kFileNoPlace;
        case EEXIST:
        case ENOTEMPTY:
            return kFileTaken;
        default:
            return kFileFailed;
    }
}

bool SyncPath(const std::string& posix, bool folder) {
    int fd =
        open(posix.c_str(), (folder ? O_RDONLY | O_DIRECTORY : O_RDONLY | O_NOFOLLOW) | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

std::string ParentOf(const std::string& posix) {
    size_t slash = posix.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : posix.substr(0, slash);
}

// Renames without ever replacing an existing object.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    int err = errno;
    if (err != EINVAL && err != ENOSYS) return err;
    // File systems without the flag: check, then rename (a narrow window remains).
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return errno;
    if (lstat(to.c_str(), &st) == 0) return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

LSpecialFolders* gSpecialFolders = nullptr;

std::string HomeFolder() {
    if (const char* h = getenv("HOME"); h && h[0] == '/') return h;
    if (struct passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return pw->pw_dir;
    return "";
}

std::string EnvFolder(const char* var, const std::string& fallback) {
    if (const char* v = getenv(var); v && v[0] == '/') return v;
    return fallback;
}

// A folder named in the user's user-dirs.dirs ("XDG_DESKTOP_DIR="$HOME/Desktop"").
std::string UserDir(const char* key, const std::string& home, const std::string& fallback) {
    std::string config = EnvFolder("XDG_CONFIG_HOME", home.empty() ? "" : home + "/.config");
    if (config.empty()) return fallback;
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line, prefix = std::string(key) + "=";
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string v = line.substr(prefix.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.compare(0, 5, "$HOME") == 0) {
            if (home.empty()) return fallback;
            v = home + v.substr(5);
        }
        if (!v.empty() && v[0] == '/') return v;
    }
    return fallback;
}

bool MakeFolders(const std::string& posix, mode_t mode) {
    if (posix.empty() || posix[0] != '/') return false;
    for (size_t i = 1; i <= posix.size(); i++) {
        if (i < posix.size() && posix[i] != '/') continue;
        std::string part = posix.substr(0, i);
        if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(posix.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string SystemTempFolder() {
    std::string t = EnvFolder("TMPDIR", "/tmp");
    while (t.size() > 1 && t.back() == '/') t.pop_back();
    return t;
}

// A folder of our own in the temporary folder: made 0700 and accepted only when it
// is a real folder owned by this user, so nobody else can place or read files in it.
std::string PrivateTempFolder() {
    std::string f = SystemTempFolder() + "/kevorune-" + std::to_string(geteuid());
    mkdir(f.c_str(), 0700);
    struct stat st;
    if (lstat(f.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & 077) != 0)
        return "";
    return f;
}

LString UrlOf(const std::string& posix) {
    LString url;
    PosixPathToFileUrl(&url, LString(std::string_view(posix)));
    return url;
}

}  // namespace

// ---- Creation ----

void CFileObj::CreateUniqueFile(const LString& wanted, u32 mode, u32 permissions) {
    Create(wanted, mode, false, permissions);
}

void CFileObj::CreateUniqueFolder(const LString& wanted, u32 mode) {
    Create(wanted, mode, true, 0777);
}

void CFileObj::Create(const LString& wanted, u32 mode, bool folder, u32 permissions) {
    fPath = wanted;
    long n = 2;
    for (;;) {
        std::string posix = Posix(fPath);
        if (posix.empty()) {
            fStatus = kFileNoPlace;
            return;
        }
        int err = 0;
        if (folder) {
            if (mkdir(posix.c_str(), 0777) != 0) err = errno;
        } else {
            int fd = open(posix.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          mode_t(permissions));
            if (fd < 0)
                err = errno;
            else
                close(fd);
        }
        if (err != EEXIST) {
            fStatus = MapErrno(err);
            return;
        }
        if (mode == kModeFailIfTaken) {
            fStatus = kFileTaken;
            return;
        }
        if (mode == kModeAcceptExisting) {
            CPathEnumerator what(fPath, false);
            bool sameKind =
                what.Status() == CFileEnumerator::kReady &&
                (folder ? what.IsDirectory() : !what.IsDirectory() && what.IsRegularFile());
            fStatus = sameKind ? kFileDone : kFileTaken;
            return;
        }
        fPath = wanted;
        NumberedName(&fPath, n++);
    }
}

// ---- Rename and delete ----

void CFileRename::Rename(const LString& path, const char* newLeaf, bool retry) {
    fPath = path;
    LString wanted = path;
    ReplaceLeafName(&wanted, newLeaf);
    LString result = wanted;
    if (result == path) {
        fStatus = kFileDone;
        return;
    }
    std::string from = Posix(path);
    long n = 2;
    for (;;) {
        std::string to = Posix(result);
        if (from.empty() || to.empty()) {
            fStatus = kFileNoPlace;
            return;
        }
        int err = RenameNoReplace(from, to);
        if (err == EEXIST || err == ENOTEMPTY) {
            if (!retry) {
                fStatus = kFileTaken;
                return;
            }
            result = wanted;
            NumberedName(&result, n++);
            if (result == path) {
                fStatus = kFileDone;
                return;
            }
            continue;
        }
        fStatus = err == 0 ? kFileDone : MapErrno(err);
        if (err == 0) fPath = result;
        return;
    }
}

void CFileDelete::Delete(const LString& path) {
    std::string posix = Posix(path);
    struct stat st;
    if (posix.empty() || lstat(posix.c_str(), &st) != 0) {
        fStatus = kFileNoPlace;
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        fStatus = kFileFailed;
        return;
    }
    fStatus = unlink(posix.c_str()) == 0 ? kFileDone : MapErrno(errno);
}

// ---- Held and temporary files ----

CFileHolder::CFileHolder(const char* name, const LString* folder) {
    LString base;
    if (folder)
        base = *folder;
    else
        LSpecialFolders::TempItemsFolder(&base);
    LPathStatus joined;
    JoinPath(&joined, base, name);
    fPath = joined.path;
}

CFileHolder::~CFileHolder() {
    if (fDeleteOnDestruction) {
        CFileDelete del;
        del.Delete(fPath);
    }
}

CTempFile::CTempFile(const char* name, const LString* folder) : CFileHolder(name, folder) {
    NumberedName(&fPath, long(LTickMs()));
    CFileObj file;
    file.CreateUniqueFile(fPath, CFileObj::kModeNumber, 0600);
    if (file.Status() == kFileDone) {
        fPath = file.Path();
        fDeleteOnDestruction = 1;
    } else {
        fError = 1;
    }
}

// ---- Safe replace ----

CSafeReplace::~CSafeReplace() {
    if (fActive) {
        CFileDelete del;
        del.Delete(fNewPath);
    }
}

CSafeReplaceFs::CSafeReplaceFs(const LString& target) {
    fTarget = target;
    // The new file gets the target's permissions, so private data never shows in a
    // more readable file while it is written.
    u32 permissions = 0666;
    struct stat st;
    std::string posixTarget = Posix(target);
    if (!posixTarget.empty() && stat(posixTarget.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        permissions = st.st_mode & 0777;
    CFileObj file;
    file.CreateUniqueFile(target, CFileObj::kModeNumber, permissions);
    if (file.Status() == kFileDone) {
        fNewPath = file.Path();
        fActive = 1;
    } else {
        fError = kErrCreate;
    }
}

void CSafeReplaceFs::Commit() {
    if (!fActive) return;
    std::string posixNew = Posix(fNewPath), posixTarget = Posix(fTarget);
    if (posixNew.empty() || posixTarget.empty() || !SyncPath(posixNew, false)) {
        fError = kErrExchange;
        return;
    }
    if (fNewPath == fTarget) {
        fActive = 0;
        return;
    }
    // One rename replaces the target: at every moment the old or the new file is there.
    if (rename(posixNew.c_str(), posixTarget.c_str()) != 0) {
        fError = kErrExchange;
        return;
    }
    SyncPath(ParentOf(posixTarget), true);
    fNewPath = fTarget;
    fActive = 0;
}

// ---- Enumeration ----

CFileEnumerator::~CFileEnumerator() {
    Close();
}

void CFileEnumerator::Close() {
    if (fDir) closedir(fDir);
    fDir = nullptr;
    fHasItem = false;
    fHasStat = false;
    fItemPath = LString();
}

bool CFileEnumerator::TakeItem() {
    fHasItem = false;
    fHasStat = false;
    while (struct dirent* e = readdir(fDir)) {
        if (StrEqual(e->d_name, ".") || StrEqual(e->d_name, "..")) continue;
        LPathStatus joined;
        JoinPath(&joined, fFolder, e->d_name);
        fItemPath = joined.path;
        // Items are looked at without following a symbolic link.
        fHasStat = fstatat(dirfd(fDir), e->d_name, &fStat, AT_SYMLINK_NOFOLLOW) == 0;
        fHasItem = true;
        return true;
    }
    return false;
}

void CFileEnumerator::Open(const LString& path, bool listContents) {
    Close();
    fStatus = kUnreachable;
    fFolder = path;
    std::string posix = Posix(path);
    if (posix.empty()) return;
    if (listContents) {
        fDir = opendir(posix.c_str());
        if (fDir && TakeItem()) fStatus = kReady;
        return;
    }
    if (stat(posix.c_str(), &fStat) == 0) {
        fHasStat = true;
        fHasItem = true;
        fItemPath = path;
        fStatus = kReady;
    }
}

bool CFileEnumerator::Next() {
    return fDir && TakeItem();
}

bool CFileEnumerator::IsDirectory() const {
    return fHasItem && fHasStat && S_ISDIR(fStat.st_mode);
}

bool CFileEnumerator::IsRegularFile() const {
    return fHasItem && fHasStat && S_ISREG(fStat.st_mode);
}

CPathEnumerator::CPathEnumerator(const LString& path, bool listContents)
    : fListContents(listContents ? 1 : 0), fPath(path) {
    Open(fPath, fListContents != 0);
}

// ---- Special folders ----

LSpecialFolders::LSpecialFolders(const LString* reference) {
    LString ref = reference ? *reference : UrlOf(SystemTempFolder());
    std::string home = HomeFolder();
    std::string data = EnvFolder("XDG_DATA_HOME", home.empty() ? "" : home + "/.local/share");
    struct Want {
        std::string posix;
        bool create;
    } wants[kCount] = {
        {UserDir("XDG_DESKTOP_DIR", home, home.empty() ? "" : home + "/Desktop"), true},
        {PrivateTempFolder(), false},
        {"/usr", false},
        {"/usr/share/applications", false},
        {home, false},
        {UserDir("XDG_DOCUMENTS_DIR", home, home.empty() ? "" : home + "/Documents"), true},
        {data, true},
        {data.empty() ? "" : data + "/Trash/files", true},
    };
    for (u32 i = 0; i < kCount; i++) {
        const std::string& p = wants[i].posix;
        struct stat st;
        bool found =
            !p.empty() && (wants[i].create ? MakeFolders(p, 0700)
                                           : stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
        fFolders[i] = found ? UrlOf(p) : ref;
    }
    if (!gSpecialFolders) gSpecialFolders = this;
}

LSpecialFolders::~LSpecialFolders() {
    if (gSpecialFolders == this) gSpecialFolders = nullptr;
}

LSpecialFolders* LSpecialFolders::Instance() {
    return gSpecialFolders;
}

LString& LSpecialFolders::TempItemsFolder(LString* out) {
    if (gSpecialFolders) {
        *out = gSpecialFolders->Get(kTempItems);
        return *out;
    }
    std::string f = PrivateTempFolder();
    *out = UrlOf(f.empty() ? SystemTempFolder() : f);
    return *out;
}

// ---- Bundles ----

CBundleInfo::CBundleInfo(const LString&) {}

LString& CBundleInfo::GetVersion(LString* out) const {
    *out = fVersion;
    return *out;
}

// ---- File types ----

CFileTypeList::CFileTypeList(const LStrListRes& list) {
    for (u32 i = 0; i < list.Count(); i++) {
        LString item;
        list.GetItem(&item, i);
        LStrReader reader(item);
        LString lines[4];
        bool complete = true;
        for (auto& line : lines) complete = complete && ReaderReadLine(reader, &line);
        if (!complete) continue;
        auto* e = new Entry{lines[2], lines[3], StrToFourCharCode(lines[0].CStr()),
                            StrToFourCharCode(lines[1].CStr())};
        if (!fEntries.InsertAt(fEntries.Count(), &e)) delete e;
    }
}

CFileTypeList::~CFileTypeList() {
    for (u32 i = 0; i < fEntries.Count(); i++) delete *static_cast<Entry**>(fEntries.At(i));
}

const CFileTypeList::Entry* CFileTypeList::At(u32 index) const {
    return index < fEntries.Count() ? *static_cast<Entry**>(fEntries.At(index)) : nullptr;
}

LString& CFileTypeList::GetName(LString* out, u32 index) const {
    const Entry* e = At(index);
    *out = e ? e->name : LString();
    return *out;
}

LString& CFileTypeList::GetPattern(LString* out, u32 index) const {
    const Entry* e = At(index);
    *out = e ? e->pattern : LString();
    return *out;
}

u32 CFileTypeList::GetType(u32 index) const {
    const Entry* e = At(index);
    return e ? e->type : FourCC("????");
}

u32 CFileTypeList::GetCreator(u32 index) const {
    const Entry* e = At(index);
    return e ? e->creator : FourCC("TEXT");
}
