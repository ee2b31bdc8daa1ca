#include "base/FileOps.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
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

// ---- Temporaries that name their writer
//
// A temporary file carries ".kvtmp-<pid>-<start>-<host>" in its name: the process
// that writes it (its id and its start time, since ids are reused) on the machine
// it runs on. A file whose writer is gone can only be a leftover of a killed run;
// it is removed the next time a temporary is made in its folder. Files of another
// machine (a shared folder) and of running processes are never touched.

constexpr char kTempMark[] = ".kvtmp-";

// Start time of a process in clock ticks since boot, 0 when it cannot be read.
unsigned long long ProcessStart(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return 0;
    // The command name may hold spaces and parentheses: fields follow the last ')'.
    size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    size_t pos = close + 1;
    for (int field = 3; field < 22; field++) {
        pos = stat.find(' ', pos + 1);
        if (pos == std::string::npos) return 0;
    }
    return std::strtoull(stat.c_str() + pos + 1, nullptr, 10);
}

bool IsAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string HostTag() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = 0;
    std::string tag;
    for (const char* c = host; *c && tag.size() < 24; c++)
        if (IsAlnum(*c)) tag += *c;
    return tag.empty() ? "host" : tag;
}

struct Owner {
    long pid = 0;
    unsigned long long start = 0;
    std::string host;
};

// Looked at again after a fork: a child writes under its own id.
Owner Self() {
    static std::mutex mutex;
    static Owner cached;
    const long pid = long(getpid());
    std::lock_guard<std::mutex> lock(mutex);
    if (cached.pid != pid) {
        cached.pid = pid;
        cached.start = ProcessStart(pid);
        cached.host = HostTag();
    }
    return cached;
}

// ".kvtmp-<pid>-<start>-<host>-<n>": n keeps the temporaries of one process apart.
std::string NextTempTag() {
    static std::atomic<unsigned> counter{0};
    const Owner o = Self();
    return std::string(kTempMark) + std::to_string(o.pid) + "-" + std::to_string(o.start) + "-" +
           o.host + "-" + std::to_string(++counter);
}

bool ReadNumber(const std::string& s, size_t* pos, unsigned long long* out) {
    size_t start = *pos;
    unsigned long long v = 0;
    while (*pos < s.size() && s[*pos] >= '0' && s[*pos] <= '9' && *pos - start < 20)
        v = v * 10 + unsigned(s[(*pos)++] - '0');
    *out = v;
    return *pos > start;
}

// The writer named in a temporary's leaf, or false when the leaf is not one of ours.
bool ParseTempLeaf(const std::string& leaf, Owner* owner) {
    size_t at = leaf.rfind(kTempMark);
    if (at == std::string::npos) return false;
    size_t pos = at + sizeof kTempMark - 1;
    unsigned long long pid = 0, start = 0, n = 0;
    if (!ReadNumber(leaf, &pos, &pid) || pos >= leaf.size() || leaf[pos++] != '-') return false;
    if (!ReadNumber(leaf, &pos, &start) || pos >= leaf.size() || leaf[pos++] != '-') return false;
    size_t hostStart = pos;
    while (pos < leaf.size() && IsAlnum(leaf[pos])) pos++;
    if (pos == hostStart || pos >= leaf.size() || leaf[pos++] != '-') return false;
    owner->host = leaf.substr(hostStart, pos - 1 - hostStart);
    if (!ReadNumber(leaf, &pos, &n)) return false;
    // What may follow is the extension of a temporary file ("undo...tmp").
    if (pos < leaf.size() && leaf[pos] != '.') return false;
    owner->pid = long(pid);
    owner->start = start;
    return pid > 0;
}

bool OwnerGone(const Owner& o) {
    const Owner self = Self();
    if (o.host != self.host) return false;
    if (o.pid == self.pid) return o.start != self.start;
    if (kill(pid_t(o.pid), 0) != 0 && errno == ESRCH) return true;
    // The id is taken: by the writer, or by a later process that got it again.
    const unsigned long long start = ProcessStart(o.pid);
    return start != 0 && o.start != 0 && start != o.start;
}

void SweepFolderNow(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (struct dirent* e = readdir(dir)) {
        Owner owner;
        if (!ParseTempLeaf(e->d_name, &owner) || !OwnerGone(owner)) continue;
        // Only a plain file of this user: never a link, a folder or someone else's file.
        struct stat st;
        if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != geteuid())
            continue;
        unlinkat(dirfd(dir), e->d_name, 0);
    }
    closedir(dir);
}

// Once per folder and process: later leftovers can only come from runs that die
// while this one goes on.
void SweepFolder(const std::string& folder) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert(folder).second) return;
    }
    SweepFolderNow(folder);
}

// The longest leaf a folder takes; a temporary's name must fit beside the target.
constexpr size_t kLeafMax = 255;

// Cuts a leaf to at most max bytes without splitting a UTF-8 sequence.
std::string CutLeaf(const std::string& leaf, size_t max) {
    if (leaf.size() <= max) return leaf;
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(leaf[n]) & 0xC0) == 0x80) n--;
    return leaf.substr(0, n);
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
    // The writer's tag goes before the extension, so a leftover of a killed run is
    // known as such and removed by a later one.
    std::string posix = Posix(fPath);
    if (!posix.empty()) {
        const std::string parent = ParentOf(posix);
        SweepFolder(parent);
        std::string leaf = posix.substr(posix.rfind('/') + 1), ext;
        const size_t dot = leaf.rfind('.');
        if (dot != std::string::npos && dot > 0) {
            ext = leaf.substr(dot);
            leaf.erase(dot);
        }
        const std::string tag = NextTempTag();
        leaf = CutLeaf(leaf, kLeafMax - std::min(kLeafMax, tag.size() + ext.size()));
        fPath = UrlOf((parent == "/" ? "" : parent) + "/" + leaf + tag + ext);
    }
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
    std::string posixTarget = Posix(target);
    size_t slash = posixTarget.rfind('/');
    if (posixTarget.empty() || slash == std::string::npos || slash + 1 == posixTarget.size()) {
        fError = kErrCreate;
        return;
    }
    // The new file gets the target's permissions, so private data never shows in a
    // more readable file while it is written.
    u32 permissions = 0666;
    struct stat st;
    if (stat(posixTarget.c_str(), &st) == 0 && S_ISREG(st.st_mode)) permissions = st.st_mode & 0777;
    // Always a hidden file beside the target, never the target itself: a save that
    // dies leaves no cut-off file under the real name, and nothing a user takes
    // for a document. Beside it, so that the final rename stays on one volume.
    const std::string parent = ParentOf(posixTarget);
    SweepFolder(parent);
    const std::string tag = NextTempTag();
    const std::string leaf =
        "." +
        CutLeaf(posixTarget.substr(slash + 1), kLeafMax - std::min(kLeafMax, tag.size() + 1)) + tag;
    CFileObj file;
    file.CreateUniqueFile(UrlOf((parent == "/" ? "" : parent) + "/" + leaf),
                          CFileObj::kModeFailIfTaken, permissions);
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
    // Only a new file whose every byte reached the disk may take the target's name.
    if (posixNew.empty() || posixTarget.empty() || !SyncPath(posixNew, false)) {
        fError = kErrExchange;
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

void RemoveDeadTemporaries(const LString& folder) {
    std::string posix = Posix(folder);
    if (!posix.empty()) SweepFolderNow(posix);
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

// The build stamps the project's version (KEVO_VERSION); a build without it has none.
#ifndef KEVO_VERSION
#define KEVO_VERSION ""
#endif

CBundleInfo::CBundleInfo(const LString&) : fVersion(KEVO_VERSION) {}

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
