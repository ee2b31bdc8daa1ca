#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "base/CharReader.h"
#include "base/Paths.h"

namespace {

std::string S(const LString& s) {
    return std::string(s.View());
}

std::string Format(const char* text) {
    LString out;
    return S(CUrl(text).ToString(&out));
}

std::string Resolve(const char* rel, const char* base, bool folder) {
    CUrl u(rel);
    u.Resolve(CUrl(base), folder);
    LString out;
    return S(u.ToString(&out));
}

std::string Escape(const char* seg) {
    LString out;
    return S(EscapePathSegmentToString(&out, seg));
}

std::string ToPosix(const char* url) {
    LString out;
    return S(FileUrlToPosixPath(&out, LString(url)));
}

std::string ToUrl(const std::string& posix) {
    LString out;
    return S(PosixPathToFileUrl(&out, LString(std::string_view(posix))));
}

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/kvpaths-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string path;
};

bool IsFolder(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TEST(CUrlTest, ParsesAllPartsAndFormatsBack) {
    CUrl u("s://h:80/a/b;p?q=1#f");
    EXPECT_EQ(S(u.Scheme()), "s");
    EXPECT_EQ(S(u.Authority()), "h:80");
    EXPECT_EQ(S(u.Path()), "/a/b");
    EXPECT_EQ(S(u.Params()), "p");
    EXPECT_EQ(S(u.Query()), "q=1");
    EXPECT_EQ(S(u.Fragment()), "f");
    EXPECT_EQ(Format("s://h:80/a/b;p?q=1#f"), "s://h:80/a/b;p?q=1#f");
    EXPECT_EQ(Format("file:///V/a%20b"), "file:///V/a%20b");

    CUrl colon(":x");
    EXPECT_TRUE(colon.Scheme().IsEmpty());
    EXPECT_EQ(S(colon.Path()), ":x");
    CUrl blank("a b:c");
    EXPECT_TRUE(blank.Scheme().IsEmpty());
    EXPECT_EQ(S(blank.Path()), "a b:c");
    EXPECT_TRUE(CUrl(nullptr).IsEmpty());
    EXPECT_TRUE(CUrl("").IsEmpty());
}

TEST(CUrlTest, ResolvesRelativeReferences) {
    EXPECT_EQ(Resolve("../c", "file:///V/a/b/d.txt", false), "file:///V/a/c");
    EXPECT_EQ(Resolve("./x", "file:///V/a/", false), "file:///V/a/x");
    EXPECT_EQ(Resolve("..", "file:///V", true), "file:///V");
    EXPECT_EQ(Resolve("../../../../x", "file:///V/a/d.txt", false), "file:///V/x");
    EXPECT_EQ(Resolve("x", "file:///V/a", true), "file:///V/a/x");
    EXPECT_EQ(Resolve("x", "file:///V/a", false), "file:///V/x");
    EXPECT_EQ(Resolve("a//b/", "file:///V/f", false), "file:///V/a/b");
    // An absolute path, an authority or a scheme of its own stays.
    EXPECT_EQ(Resolve("/W/y", "file:///V/a/b", false), "file:///W/y");
    EXPECT_EQ(Resolve("http://h/p", "file:///V/a", false), "http://h/p");
    // An empty path takes the base's path, params and query.
    EXPECT_EQ(Resolve("#frag", "s://h/a;p?q", false), "s://h/a;p?q#frag");
    EXPECT_EQ(Resolve("", "s://h/a", false), "s://h/a");
    // Escaped dots are names, not dot segments.
    EXPECT_EQ(Resolve("%2E%2E/x", "file:///V/a/b", false), "file:///V/a/%2E%2E/x");
}

TEST(PathTextTest, EscapesAndDecodesSegments) {
    EXPECT_EQ(Escape("a b/c"), "a%20b%2Fc");
    EXPECT_EQ(Escape("."), "%2E");
    EXPECT_EQ(Escape(".."), "%2E%2E");
    EXPECT_EQ(Escape("..."), "...");
    EXPECT_EQ(Escape("x:~\xC3\xA9!$'()*+,-._"), "x%3A%7E%C3%A9!$'()*+,-._");
    EXPECT_EQ(Escape(""), "");

    const char* p = "%4g";
    EXPECT_EQ(DecodePercentChar(&p), '%');
    EXPECT_EQ(*p, '4');
    p = "%2f!";
    EXPECT_EQ(DecodePercentChar(&p), '/');
    EXPECT_EQ(*p, '!');
    p = "%";
    EXPECT_EQ(DecodePercentChar(&p), '%');
    EXPECT_EQ(*p, 0);

    const char* cur = "//a%20b/c%2Fd/";
    LString seg;
    EXPECT_EQ(S(NextUrlPathSegment(&seg, &cur)), "a b");
    EXPECT_EQ(S(NextUrlPathSegment(&seg, &cur)), "c/d");
    EXPECT_EQ(S(NextUrlPathSegment(&seg, &cur)), "");
    EXPECT_EQ(*cur, 0);
}

TEST(PathTextTest, FileNameRules) {
    auto ext = [](const char* n) { return std::string(FindExtension(n)); };
    EXPECT_EQ(ext("a.b c.d"), ".d");
    EXPECT_EQ(ext("my file.tx t"), "");
    EXPECT_EQ(ext("show.txt "), ".txt ");
    EXPECT_EQ(ext("dir.x:name"), "");
    EXPECT_EQ(ext("dir\\a.wav"), ".wav");
    EXPECT_EQ(ext(""), "");

    LString out;
    EXPECT_EQ(S(GetExtensionLower(&out, "Show.DRC  ")), "drc");
    EXPECT_EQ(S(GetExtensionLower(&out, "noext")), "");
    EXPECT_EQ(S(GetExtensionLower(&out, "x.\xC3\x89T")), "\xC3\x89t");
    EXPECT_EQ(S(ReplaceExtension(&out, "take.wav", "drc")), "take.drc");
    EXPECT_EQ(S(ReplaceExtension(&out, "take.wav", "")), "take");
    EXPECT_EQ(S(ReplaceExtension(&out, "take", "drc")), "take.drc");

    LTextStream t;
    WriteSanitizedFileName("a/b\t", t);
    EXPECT_STREQ(t.CStr(), "a_b_");

    for (u32 c : {0u, 31u, u32('"'), u32('*'), u32('/'), u32(':'), u32('<'), u32('>'), u32('?'),
                  u32('\\'), u32('|')})
        EXPECT_FALSE(IsValidNameChar(c)) << c;
    for (u32 c : {u32(' '), u32('a'), u32('.'), 0xE9u, 0x1F600u})
        EXPECT_TRUE(IsValidNameChar(c)) << c;
}

TEST(PathTextTest, DevicePaths) {
    auto combine = [](const char* base, const char* name) {
        LTextStream t;
        bool ok = CombinePath(base, name, t);
        return ok ? std::string(t.CStr()) : std::string("<false>");
    };
    EXPECT_EQ(combine("/d", "x"), "/d/x");
    EXPECT_EQ(combine("/d/", "x"), "/d/x");
    EXPECT_EQ(combine("", "/abs"), "/abs");
    EXPECT_EQ(combine("/d", "/abs"), "/abs");
    EXPECT_EQ(combine("", "x"), "<false>");

    LString out;
    EXPECT_EQ(S(LastPathComponent(&out, "/a/b/c.wav")), "c.wav");
    EXPECT_EQ(S(LastPathComponent(&out, "/a/b/")), "");
    EXPECT_EQ(S(LastPathComponent(&out, "plain")), "plain");

    LMemReader r("a/bc/", 5);
    EXPECT_TRUE(NextPathComponent(r, &out));
    EXPECT_EQ(S(out), "a");
    EXPECT_TRUE(NextPathComponent(r, &out));
    EXPECT_EQ(S(out), "bc");
    EXPECT_FALSE(NextPathComponent(r, &out));
    EXPECT_EQ(S(out), "");
}

TEST(PathConversionTest, StartupVolumeMapsToRoot) {
    LString v;
    EXPECT_EQ(S(StartupVolumeName(&v)), "Root");
    EXPECT_TRUE(VolumeExists("Root"));
    EXPECT_EQ(ToPosix("file:///Root/tmp/a%20b/c%2Fd"), "/tmp/a b/c:d");
    EXPECT_EQ(ToPosix("file:///Root"), "/");
    EXPECT_EQ(ToPosix("file:///Root/tmp/"), "/tmp");
    EXPECT_EQ(ToUrl("/tmp/x y/./z/../w"), "file:///Root/tmp/x%20y/w");
    EXPECT_EQ(ToUrl("/"), "file:///Root");
    EXPECT_EQ(ToUrl(""), "");

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    LString cur;
    CurrentFolderUrl(&cur);
    EXPECT_EQ(ToPosix(cur.CStr()), std::string(cwd));
    EXPECT_EQ(ToUrl("rel"), ToUrl(std::string(cwd) + "/rel"));
}

TEST(PathConversionTest, MountedVolumesRoundTrip) {
    TempDir tmp;
    std::string media = tmp.path + "/media";
    ASSERT_EQ(mkdir(media.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((media + "/Work Disk").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((media + "/Root").c_str(), 0700), 0);
    SetVolumeParentsForTesting(media.c_str(), nullptr);

    EXPECT_TRUE(VolumeExists("Work Disk"));
    EXPECT_EQ(ToPosix("file:///Work%20Disk/a%2Fb"), media + "/Work Disk/a:b");
    EXPECT_EQ(ToUrl(media + "/Work Disk/show/a.drc"), "file:///Work%20Disk/show/a.drc");
    EXPECT_EQ(ToUrl(media + "/Work Disk"), "file:///Work%20Disk");
    // A folder named like the startup volume cannot be a volume of its own.
    EXPECT_EQ(ToUrl(media + "/Root/x"), "file:///Root" + media + "/Root/x");
    EXPECT_EQ(ToPosix("file:///Missing/x"), "");

    // Text in any accepted form becomes a file URL; folders on the way are made.
    LString out;
    ASSERT_TRUE(EnsureFolderPath("file:///Work%20Disk/a/b/leaf.txt", &out, true));
    EXPECT_EQ(S(out), "file:///Work%20Disk/a/b/leaf.txt");
    EXPECT_TRUE(IsFolder(media + "/Work Disk/a/b"));
    EXPECT_FALSE(IsFolder(media + "/Work Disk/a/b/leaf.txt"));
    ASSERT_TRUE(EnsureFolderPath((media + "/Work Disk/a/c").c_str(), &out, false));
    EXPECT_EQ(S(out), "file:///Work%20Disk/a/c");
    ASSERT_TRUE(EnsureFolderPath((tmp.path + "/p/q").c_str(), &out, true));
    EXPECT_EQ(ToPosix(out.CStr()), tmp.path + "/p/q");
    EXPECT_TRUE(IsFolder(tmp.path + "/p"));
    EXPECT_FALSE(EnsureFolderPath("", &out, false));
    EXPECT_FALSE(EnsureFolderPath((tmp.path + "/%2E%2E/x").c_str(), &out, false));
    // A file where a folder is needed stops the walk.
    ASSERT_EQ(std::system(("touch '" + tmp.path + "/file'").c_str()), 0);
    EXPECT_FALSE(EnsureFolderPath((tmp.path + "/file/sub/x").c_str(), &out, true));

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(tmp.path.c_str()), 0);
    EXPECT_TRUE(EnsureFolderPath("rel/x", &out, true));
    EXPECT_TRUE(IsFolder(tmp.path + "/rel"));
    ASSERT_EQ(chdir(cwd), 0);
    SetVolumeParentsForTesting(nullptr, nullptr);
}
