#include "base/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/CharReader.h"
#include "base/FileOps.h"
#include "base/TextEncoding.h"

namespace {

bool IsSchemeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '-' || c == '.';
}

bool IsPlainSegmentChar(u8 c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::strchr("!$'()*+,-._", c) != nullptr && c != 0;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

LString Str(std::string_view v) {
    return LString(v);
}

// Decodes one whole segment of escaped text.
std::string DecodeSegment(std::string_view escaped) {
    std::string s(escaped);
    std::string out;
    const char* p = s.c_str();
    while (*p) out.push_back(char(DecodePercentChar(&p)));
    return out;
}

std::string EscapeSegment(std::string_view segment) {
    std::string s(segment);
    LTextStream t;
    EscapePathSegment(s.c_str(), t);
    return std::string(t.CStr(), t.Length());
}

bool IsDotOrEmpty(std::string_view s) {
    return s.empty() || s == "." || s == "..";
}

// A volume name must be usable as one folder name below its parent.
bool IsUsableVolumeName(std::string_view s) {
    return !IsDotOrEmpty(s) && s.find('/') == std::string_view::npos &&
           s.find('\0') == std::string_view::npos;
}

bool gTestParents = false;
std::string gTestParent[2];

std::vector<std::string> VolumeParents() {
    if (gTestParents) {
        std::vector<std::string> v;
        for (const auto& p : gTestParent)
            if (!p.empty()) v.push_back(p);
        return v;
    }
    std::string user;
    if (const char* u = getenv("USER"); u && *u && std::strchr(u, '/') == nullptr) {
        user = u;
    } else if (struct passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) {
        user = pw->pw_name;
    }
    std::vector<std::string> v;
    if (!user.empty() && user != "." && user != "..") v.push_back("/media/" + user);
    v.push_back("/mnt");
    return v;
}

bool IsFolder(const std::string& posix) {
    struct stat st;
    return stat(posix.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

constexpr const char* kStartupVolume = "Root";

bool FindVolumeFolder(std::string_view name, std::string* folder) {
    if (name == kStartupVolume) {
        *folder = "/";
        return true;
    }
    if (!IsUsableVolumeName(name)) return false;
    for (const auto& parent : VolumeParents()) {
        std::string f = parent + "/" + std::string(name);
        if (IsFolder(f)) {
            *folder = f;
            return true;
        }
    }
    return false;
}

std::vector<std::string> SplitNonEmpty(std::string_view path) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string_view::npos) j = path.size();
        if (j > i) out.emplace_back(path.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

// Splits absolute local segments into the volume and the index of its first segment.
std::string VolumeOfLocalSegments(const std::vector<std::string>& segs, size_t* first) {
    for (const auto& parent : VolumeParents()) {
        std::vector<std::string> p = SplitNonEmpty(parent);
        if (segs.size() <= p.size()) continue;
        bool match = true;
        for (size_t i = 0; i < p.size() && match; i++) match = segs[i] == p[i];
        if (!match) continue;
        const std::string& vol = segs[p.size()];
        std::string folder;
        if (vol != kStartupVolume && FindVolumeFolder(vol, &folder) &&
            folder == parent + "/" + vol) {
            *first = p.size() + 1;
            return vol;
        }
    }
    *first = 0;
    return kStartupVolume;
}

std::string FileUrlOf(const std::string& volume, const std::vector<std::string>& segs,
                      size_t first) {
    std::string url = "file:///" + EscapeSegment(volume);
    for (size_t i = first; i < segs.size(); i++) url += "/" + EscapeSegment(segs[i]);
    return url;
}

}  // namespace

// ---- CUrl ----

CUrl::CUrl(const char* text) {
    if (!text) return;
    std::string_view rest(text);
    if (size_t h = rest.find('#'); h != std::string_view::npos) {
        fFragment = Str(rest.substr(h + 1));
        rest = rest.substr(0, h);
    }
    size_t n = 0;
    while (n < rest.size() && IsSchemeChar(rest[n])) n++;
    if (n > 0 && n < rest.size() && rest[n] == ':') {
        fScheme = Str(rest.substr(0, n));
        rest = rest.substr(n + 1);
    }
    if (rest.substr(0, 2) == "//") {
        size_t s = rest.find('/', 2);
        if (s == std::string_view::npos) s = rest.size();
        fAuthority = Str(rest.substr(2, s - 2));
        rest = rest.substr(s);
    }
    if (size_t q = rest.find('?'); q != std::string_view::npos) {
        fQuery = Str(rest.substr(q + 1));
        rest = rest.substr(0, q);
    }
    if (size_t p = rest.find(';'); p != std::string_view::npos) {
        fParams = Str(rest.substr(p + 1));
        rest = rest.substr(0, p);
    }
    fPath = Str(rest);
}

bool CUrl::IsEmpty() const {
    return fScheme.IsEmpty() && fAuthority.IsEmpty() && fPath.IsEmpty() && fParams.IsEmpty() &&
           fQuery.IsEmpty() && fFragment.IsEmpty();
}

LString& CUrl::ToString(LString* out) const {
    std::string s;
    if (!fScheme.IsEmpty()) s += std::string(fScheme.View()) + ":";
    s += "//";
    s += fAuthority.View();
    if (fPath.CStr()[0] != '/') s += "/";
    s += fPath.View();
    if (!fParams.IsEmpty()) s += ";" + std::string(fParams.View());
    if (!fQuery.IsEmpty()) s += "?" + std::string(fQuery.View());
    if (!fFragment.IsEmpty()) s += "#" + std::string(fFragment.View());
    *out = LString(std::string_view(s));
    return *out;
}

void CUrl::Resolve(const CUrl& base, bool baseIsFolder) {
    if (base.IsEmpty()) return;
    if (IsEmpty()) {
        *this = base;
        return;
    }
    if (!fScheme.IsEmpty()) return;
    fScheme = base.fScheme;
    if (!fAuthority.IsEmpty()) return;
    fAuthority = base.fAuthority;
    if (fPath.CStr()[0] == '/') return;
    if (fPath.IsEmpty()) {
        fPath = base.fPath;
        if (fParams.IsEmpty()) {
            fParams = base.fParams;
            if (fQuery.IsEmpty()) fQuery = base.fQuery;
        }
        return;
    }
    std::string merged(base.fPath.View());
    if (!baseIsFolder) {
        size_t slash = merged.rfind('/');
        merged = slash == std::string::npos ? std::string() : merged.substr(0, slash + 1);
    }
    if (merged.empty() || merged.back() != '/') merged += "/";
    merged += fPath.View();
    std::vector<std::string> kept;
    for (auto& seg : SplitNonEmpty(merged)) {
        if (seg == ".") continue;
        if (seg == "..") {
            // The first segment (the volume of a file path) is never climbed out of.
            if (kept.size() > 1) kept.pop_back();
            continue;
        }
        kept.push_back(seg);
    }
    std::string path = merged[0] == '/' ? "/" : "";
    for (size_t i = 0; i < kept.size(); i++) {
        if (i) path += "/";
        path += kept[i];
    }
    fPath = LString(std::string_view(path));
}

// ---- Segments and names ----

void EscapePathSegment(const char* segment, LTextSink& out) {
    if (StrIsEmpty(segment)) return;
    if (StrEqual(segment, ".")) {
        out.Put("%2E");
        return;
    }
    if (StrEqual(segment, "..")) {
        out.Put("%2E%2E");
        return;
    }
    static const char kHex[] = "0123456789ABCDEF";
    for (const u8* p = reinterpret_cast<const u8*>(segment); *p; p++) {
        if (IsPlainSegmentChar(*p)) {
            out.PutChar(char(*p));
        } else {
            char esc[3] = {'%', kHex[*p >> 4], kHex[*p & 15]};
            out.Write(esc, 3);
        }
    }
}

LString& EscapePathSegmentToString(LString* out, const char* segment) {
    LTextStream t;
    EscapePathSegment(segment, t);
    *out = t.ToString();
    return *out;
}

u8 DecodePercentChar(const char** cursor) {
    const char* p = *cursor;
    if (p[0] == '%') {
        int hi = HexValue(p[1]);
        int lo = hi >= 0 ? HexValue(p[2]) : -1;
        if (lo >= 0) {
            *cursor = p + 3;
            return u8(hi * 16 + lo);
        }
    }
    *cursor = p + 1;
    return u8(p[0]);
}

LString& NextUrlPathSegment(LString* out, const char** cursor) {
    const char* p = *cursor;
    while (*p == '/') p++;
    std::string seg;
    while (*p && *p != '/') seg.push_back(char(DecodePercentChar(&p)));
    *cursor = p;
    *out = LString(seg.data(), u32(seg.size()));
    return *out;
}

void SplitFolderAndName(LString* folder, const char* path, LString* name) {
    std::string_view p(path ? path : "");
    // The last "/" that is followed by a character.
    size_t end = p.size();
    if (end > 0 && p[end - 1] == '/') end--;
    size_t slash = p.substr(0, end).rfind('/');
    size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    if (folder) *folder = Str(p.substr(0, start));
    if (name) {
        std::string d = DecodeSegment(p.substr(start, end - start));
        *name = LString(d.data(), u32(d.size()));
    }
}

LString& GetLeafName(LString* out, const LString& pathOrUrl) {
    CUrl url(pathOrUrl.CStr());
    SplitFolderAndName(nullptr, url.Path().CStr(), out);
    return *out;
}

void AppendPathSegment(LTextSink& out, const char* segment) {
    if (StrIsEmpty(segment)) return;
    if (out.Length() == 0 || out.CStr()[out.Length() - 1] != '/') out.PutChar('/');
    EscapePathSegment(segment, out);
}

void JoinPath(LPathStatus* out, const LString& folder, const char* name) {
    LTextStream t;
    t.Put(folder);
    AppendPathSegment(t, name);
    out->path = t.ToString();
    out->status = 0;
}

void ReplaceLeafName(LString* path, const char* newLeaf) {
    if (path->IsEmpty() && StrIsEmpty(newLeaf)) return;
    LString escaped;
    EscapePathSegmentToString(&escaped, newLeaf);
    CUrl leaf(escaped.CStr());
    leaf.Resolve(CUrl(path->CStr()), false);
    leaf.ToString(path);
}

void NumberedName(LString* path, long n) {
    LString leaf;
    GetLeafName(&leaf, *path);
    const char* ext = FindExtension(leaf.CStr());
    std::string base(leaf.CStr(), size_t(ext - leaf.CStr()));
    char num[32];
    std::snprintf(num, sizeof num, "%ld", n);
    std::string newLeaf = base + num + ext;
    ReplaceLeafName(path, newLeaf.c_str());
}

// ---- Conversions ----

void SetVolumeParentsForTesting(const char* first, const char* second) {
    gTestParents = first != nullptr || second != nullptr;
    gTestParent[0] = first ? first : "";
    gTestParent[1] = second ? second : "";
}

LString& StartupVolumeName(LString* out) {
    *out = kStartupVolume;
    return *out;
}

bool VolumeFolder(const char* volumeName, LString* posixFolder) {
    std::string f;
    if (!FindVolumeFolder(volumeName ? volumeName : "", &f)) return false;
    if (posixFolder) *posixFolder = LString(std::string_view(f));
    return true;
}

bool VolumeExists(const char* volumeName) {
    return VolumeFolder(volumeName, nullptr);
}

LString& PosixPathToFileUrl(LString* out, const LString& posixPath) {
    *out = LString();
    if (posixPath.IsEmpty()) return *out;
    std::string abs(posixPath.View());
    if (abs[0] != '/') {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return *out;
        abs = std::string(cwd) + "/" + abs;
    }
    std::vector<std::string> segs;
    for (auto& s : SplitNonEmpty(abs)) {
        if (s == ".") continue;
        if (s == "..") {
            if (!segs.empty()) segs.pop_back();
            continue;
        }
        segs.push_back(s);
    }
    size_t first = 0;
    std::string vol = VolumeOfLocalSegments(segs, &first);
    *out = LString(std::string_view(FileUrlOf(vol, segs, first)));
    return *out;
}

LString& FileUrlToPosixPath(LString* out, const LString& fileUrl) {
    *out = LString();
    CUrl url(fileUrl.CStr());
    std::string_view path = url.Path().View();
    if (path.empty() || path[0] != '/') return *out;
    path.remove_prefix(1);
    // One trailing "/" names the same folder; any other empty segment is refused.
    if (!path.empty() && path.back() == '/') path.remove_suffix(1);
    std::vector<std::string> segs;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string_view::npos) j = path.size();
        std::string seg = DecodeSegment(path.substr(i, j - i));
        // Decoding must not make a dot segment, an empty one, or cut the path at a zero byte.
        if (IsDotOrEmpty(seg) || seg.find('\0') != std::string::npos) return *out;
        segs.push_back(std::move(seg));
        i = j + 1;
    }
    if (segs.empty()) return *out;
    std::string folder;
    if (!FindVolumeFolder(segs[0], &folder)) return *out;
    std::string local = folder == "/" ? "" : folder;
    for (size_t k = 1; k < segs.size(); k++) {
        std::string seg = segs[k];
        // A name may hold "/"; locally it is shown as ":".
        for (char& c : seg)
            if (c == '/') c = ':';
        local += "/" + seg;
    }
    if (local.empty()) local = "/";
    *out = LString(std::string_view(local));
    return *out;
}

LString& CurrentFolderUrl(LString* out) {
    return PosixPathToFileUrl(out, LString("."));
}

bool EnsureFolderPath(const char* text, LString* out, bool createFolders) {
    if (StrIsEmpty(text)) return false;
    CUrl url(text);
    if (url.Path().CStr()[0] != '/') {
        LString cur;
        CurrentFolderUrl(&cur);
        url.Resolve(CUrl(cur.CStr()), true);
    }
    std::vector<std::string> segs;
    for (auto& raw : SplitNonEmpty(url.Path().View())) {
        std::string seg = DecodeSegment(raw);
        if (seg == "." || seg == ".." || seg.find('\0') != std::string::npos) return false;
        segs.push_back(std::move(seg));
    }
    if (segs.empty()) return false;
    std::string volume;
    size_t first = 0;
    if (VolumeExists(segs[0].c_str())) {
        volume = segs[0];
        first = 1;
    } else {
        volume = VolumeOfLocalSegments(segs, &first);
    }
    LTextStream t;
    t.Put("file:///");
    EscapePathSegment(volume.c_str(), t);
    LString path = t.ToString();
    for (size_t i = first; i < segs.size(); i++) {
        if (createFolders) {
            CFileObj folder;
            folder.CreateUniqueFolder(path, CFileObj::kModeAcceptExisting);
            if (folder.Status() != 0) return false;
        }
        LPathStatus joined;
        JoinPath(&joined, path, segs[i].c_str());
        if (joined.status != 0) return false;
        path = joined.path;
    }
    *out = path;
    return true;
}

// ---- File-name text ----

bool IsValidNameChar(u32 c) {
    if (c < 32) return false;
    switch (c) {
        case '"':
        case '*':
        case '/':
        case ':':
        case '<':
        case '>':
        case '?':
        case '\\':
        case '|':
            return false;
        default:
            return true;
    }
}

LString FilterDeviceBaseName(const char* text) {
    const char* t = text ? text : "";
    LTextStream out;
    LMemReader reader(t, StrLen(t));
    for (;;) {
        u32 c = 0;
        const i32 r = ReadUtf8Char(reader, &c);
        if (r == kUtf8End) break;
        if (r != kUtf8Ok) {
            // One "_" for each malformed sequence (the reader always passes a byte).
            out.PutChar('_');
            continue;
        }
        // DEL is kept out as well: the device listing drops names holding it.
        const bool keep = c >= 128 || (c >= 32 && c != 127 && c != '.' && IsValidNameChar(c));
        if (keep)
            Utf8Encode(out, c);
        else
            out.PutChar('_');
    }
    return out.ToString();
}

LString DeviceNameForLocalFile(const char* localPath, const char* ext) {
    LString leaf, base;
    LastPathComponent(&leaf, localPath ? localPath : "");
    ReplaceExtension(&base, leaf.CStr(), "");
    LString name = FilterDeviceBaseName(base.CStr());
    if (name.IsEmpty()) name = LString("_");
    std::string out(name.View());
    if (!StrIsEmpty(ext)) out += std::string(".") + ext;
    return LString(std::string_view(out));
}

const char* FindExtension(const char* name) {
    if (!name) return "";
    // Separators, dots and blanks are ASCII, so stepping bytes steps characters.
    const char* p = name;
    for (const char* q = name; *q; q++)
        if (*q == ':' || *q == '\\') p = q + 1;
    const char* candidate = nullptr;
    bool blank = false;
    for (; *p; p++) {
        if (*p == '.') {
            candidate = p;
            blank = false;
        } else if (*p == ' ' || *p == '\t') {
            blank = true;
        } else if (blank) {
            candidate = nullptr;
            blank = false;
        }
    }
    return candidate ? candidate : p;
}

LString& GetExtensionLower(LString* out, const char* name) {
    const char* dot = FindExtension(name);
    std::string ext;
    if (*dot == '.') {
        ext = dot + 1;
        while (!ext.empty() && (ext.back() == ' ' || ext.back() == '\t')) ext.pop_back();
        for (char& c : ext)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    *out = LString(std::string_view(ext));
    return *out;
}

LString& ReplaceExtension(LString* out, const char* name, const char* ext) {
    const char* n = name ? name : "";
    std::string s(n, size_t(FindExtension(n) - n));
    if (!StrIsEmpty(ext)) s += std::string(".") + ext;
    *out = LString(std::string_view(s));
    return *out;
}

void WriteSanitizedFileName(const char* name, LTextSink& out) {
    if (!name) return;
    for (const u8* p = reinterpret_cast<const u8*>(name); *p; p++)
        out.PutChar(*p == '/' || *p < 32 ? '_' : char(*p));
}

// ---- Device-side paths ----

bool NextPathComponent(LCharReader& reader, LString* out) {
    LTextStream t;
    u8 c;
    bool slash = false;
    while (reader.GetChar(&c)) {
        if (c == '/') {
            slash = true;
            break;
        }
        t.PutChar(char(c));
    }
    *out = t.ToString();
    return slash;
}

LString& LastPathComponent(LString* out, const char* path) {
    std::string_view p(path ? path : "");
    size_t slash = p.rfind('/');
    *out = Str(slash == std::string_view::npos ? p : p.substr(slash + 1));
    return *out;
}

bool CombinePath(const char* base, const char* name, LTextSink& out) {
    if (name && name[0] == '/') {
        out.Put(name);
        return true;
    }
    if (StrIsEmpty(base)) return false;
    out.Put(base);
    if (base[StrLen(base) - 1] != '/') out.PutChar('/');
    out.Put(name ? name : "");
    return true;
}

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsStrictUtf8(const u8* p, u32 n) {
    u32 i = 0;
    while (i < n) {
        const u8 c = p[i];
        u32 len, cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i < len) return false;
        for (u32 k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

}  // namespace

bool IsUsableName(const char* name, u32 length) {
    if (!name) return length == 0;
    const u8* p = reinterpret_cast<const u8*>(name);
    for (u32 i = 0; i < length; ++i)
        if (p[i] == '/' || p[i] < 0x20 || p[i] == 0x7F) return false;
    return IsStrictUtf8(p, length);
}

bool IsDeviceFileName(const char* name, u32 length) {
    return name && length > 0 && name[0] != '.' && IsUsableName(name, length);
}

bool IsDeviceRelativePath(const char* path) {
    if (StrIsEmpty(path)) return false;
    const char* start = path;
    for (const char* p = path;; ++p) {
        if (*p == '/' || *p == 0) {
            if (!IsDeviceFileName(start, u32(p - start))) return false;
            if (*p == 0) return true;
            start = p + 1;
        }
    }
}

bool ComposeFileNameNfc(const char* name, LTextSink& out) {
    const char* n = name ? name : "";
    // Malformed text is written unchanged by the composition: refuse it here.
    LTextStream probe;
    if (!DecomposeToNfd(n, probe)) return false;
    return NormalizeNFC(n, out);
}

std::string CardNameKey(const char* name) {
    LString base;
    ReplaceExtension(&base, name, "");
    LTextStream composed, folded;
    if (!ComposeFileNameNfc(base.CStr(), composed) || !FoldCaseSimple(composed.CStr(), folded))
        return std::string(base.View());
    return std::string(folded.CStr(), folded.Length());
}
