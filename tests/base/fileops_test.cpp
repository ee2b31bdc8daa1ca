#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>

#include "base/FileOps.h"
#include "base/Paths.h"
#include "base/Resources.h"

namespace {

std::string S(const LString& s) {
    return std::string(s.View());
}

class FileOpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kvfileops-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        LString url;
        PosixPathToFileUrl(&url, LString(std::string_view(dir)));
        dirUrl = S(url);
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    LString Url(const std::string& leaf) const {
        return LString(std::string_view(dirUrl + "/" + leaf));
    }
    std::string Local(const std::string& leaf) const { return dir + "/" + leaf; }
    void Write(const std::string& leaf, const std::string& text) const {
        std::ofstream(Local(leaf), std::ios::binary) << text;
    }
    std::string Read(const std::string& leaf) const {
        std::ifstream in(Local(leaf), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& leaf) const {
        struct stat st;
        return lstat(Local(leaf).c_str(), &st) == 0;
    }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        CPathEnumerator e(LString(std::string_view(dirUrl)), true);
        for (bool more = e.Status() == 0; more; more = e.Next()) {
            LString leaf;
            names.insert(S(GetLeafName(&leaf, e.ItemPath())));
        }
        return names;
    }

    std::string dir;
    std::string dirUrl;
};

}  // namespace

TEST_F(FileOpsTest, CreatesUnderAFreeName) {
    Write("a.drc", "one");
    Write("a2.drc", "two");
    CFileObj numbered;
    numbered.CreateUniqueFile(Url("a.drc"), CFileObj::kModeNumber);
    EXPECT_EQ(numbered.Status(), 0u);
    EXPECT_EQ(S(numbered.Path()), dirUrl + "/a3.drc");
    EXPECT_TRUE(Exists("a3.drc"));
    EXPECT_EQ(Read("a.drc"), "one");

    CFileObj taken;
    taken.CreateUniqueFile(Url("a.drc"), CFileObj::kModeFailIfTaken);
    EXPECT_EQ(taken.Status(), 3u);
    EXPECT_EQ(Read("a.drc"), "one");

    CFileObj existing;
    existing.CreateUniqueFile(Url("a.drc"), CFileObj::kModeAcceptExisting);
    EXPECT_EQ(existing.Status(), 0u);
    ASSERT_EQ(mkdir(Local("f").c_str(), 0700), 0);
    existing.CreateUniqueFile(Url("f"), CFileObj::kModeAcceptExisting);
    EXPECT_EQ(existing.Status(), 3u);

    CFileObj folder;
    folder.CreateUniqueFolder(Url("f"), CFileObj::kModeAcceptExisting);
    EXPECT_EQ(folder.Status(), 0u);
    folder.CreateUniqueFolder(Url("a.drc"), CFileObj::kModeAcceptExisting);
    EXPECT_EQ(folder.Status(), 3u);
    folder.CreateUniqueFolder(Url("f"), CFileObj::kModeFailIfTaken);
    EXPECT_EQ(folder.Status(), 3u);
    folder.CreateUniqueFolder(Url("f"), CFileObj::kModeNumber);
    EXPECT_EQ(folder.Status(), 0u);
    EXPECT_EQ(S(folder.Path()), dirUrl + "/f2");

    // A symbolic link is never followed when creating, even a dangling one.
    ASSERT_EQ(symlink(Local("elsewhere").c_str(), Local("link").c_str()), 0);
    CFileObj viaLink;
    viaLink.CreateUniqueFile(Url("link"), CFileObj::kModeAcceptExisting);
    EXPECT_EQ(viaLink.Status(), 3u);
    EXPECT_FALSE(Exists("elsewhere"));
    viaLink.CreateUniqueFile(Url("link"), CFileObj::kModeNumber);
    EXPECT_EQ(S(viaLink.Path()), dirUrl + "/link2");
}

TEST_F(FileOpsTest, CreationReportsMissingPlacesAndBadNames) {
    CFileObj f;
    f.CreateUniqueFile(Url("nofolder/x"), CFileObj::kModeNumber);
    EXPECT_EQ(f.Status(), 2u);
    f.CreateUniqueFolder(Url("nofolder/x"), CFileObj::kModeAcceptExisting);
    EXPECT_EQ(f.Status(), 2u);
    f.CreateUniqueFile(LString("file:///NoSuchVolume-kv/x"), CFileObj::kModeNumber);
    EXPECT_EQ(f.Status(), 2u);
    f.CreateUniqueFile(Url("%2E%2E"), CFileObj::kModeNumber);
    EXPECT_EQ(f.Status(), 2u);
    f.CreateUniqueFile(Url(std::string(300, 'n')), CFileObj::kModeNumber);
    EXPECT_EQ(f.Status(), 2u);
    // A name with "/" is one file locally (shown as ":").
    f.CreateUniqueFile(Url("a%2Fb"), CFileObj::kModeFailIfTaken);
    EXPECT_EQ(f.Status(), 0u);
    EXPECT_TRUE(Exists("a:b"));
    if (geteuid() != 0) {
        ASSERT_EQ(mkdir(Local("ro").c_str(), 0500), 0);
        f.CreateUniqueFile(Url("ro/x"), CFileObj::kModeNumber);
        EXPECT_EQ(f.Status(), 1u);
    }
}

TEST_F(FileOpsTest, RenameNeverReplaces) {
    Write("old.txt", "source");
    Write("new.txt", "precious");
    CFileRename r;
    r.Rename(Url("old.txt"), "new.txt", false);
    EXPECT_EQ(r.Status(), 3u);
    EXPECT_EQ(Read("new.txt"), "precious");
    EXPECT_EQ(Read("old.txt"), "source");

    r.Rename(Url("old.txt"), "new.txt", true);
    EXPECT_EQ(r.Status(), 0u);
    EXPECT_EQ(S(r.Path()), dirUrl + "/new2.txt");
    EXPECT_EQ(Read("new2.txt"), "source");
    EXPECT_EQ(Read("new.txt"), "precious");
    EXPECT_FALSE(Exists("old.txt"));

    r.Rename(Url("new2.txt"), "new2.txt", false);
    EXPECT_EQ(r.Status(), 0u);
    EXPECT_EQ(Read("new2.txt"), "source");

    r.Rename(Url("missing.txt"), "x.txt", false);
    EXPECT_EQ(r.Status(), 2u);
    r.Rename(Url("new2.txt"), "..", false);
    EXPECT_EQ(r.Status(), 2u);
    EXPECT_EQ(Read("new2.txt"), "source");

    // Folders rename too, and never onto a taken name.
    ASSERT_EQ(mkdir(Local("d1").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(Local("d2").c_str(), 0700), 0);
    r.Rename(Url("d1"), "d2", false);
    EXPECT_EQ(r.Status(), 3u);
    r.Rename(Url("d1"), "d3", false);
    EXPECT_EQ(r.Status(), 0u);
    EXPECT_EQ(Names(), (std::set<std::string>{"new.txt", "new2.txt", "d2", "d3"}));
}

TEST_F(FileOpsTest, DeleteLeavesFoldersAndLinkTargets) {
    ASSERT_EQ(mkdir(Local("f").c_str(), 0700), 0);
    CFileDelete d;
    d.Delete(Url("f"));
    EXPECT_EQ(d.Status(), 1u);
    EXPECT_TRUE(Exists("f"));
    d.Delete(Url("missing"));
    EXPECT_EQ(d.Status(), 2u);
    d.Delete(LString(""));
    EXPECT_EQ(d.Status(), 2u);
    Write("target", "keep");
    ASSERT_EQ(symlink(Local("target").c_str(), Local("link").c_str()), 0);
    d.Delete(Url("link"));
    EXPECT_EQ(d.Status(), 0u);
    EXPECT_FALSE(Exists("link"));
    EXPECT_EQ(Read("target"), "keep");
    d.Delete(Url("target"));
    EXPECT_EQ(d.Status(), 0u);
    EXPECT_FALSE(Exists("target"));
}

TEST_F(FileOpsTest, TempFilesArePrivateAndGoWithTheirHolder) {
    LString folder{std::string_view(dirUrl)};
    std::string path1, path2;
    {
        CTempFile a("kvscnv.tmp", &folder);
        CTempFile b("kvscnv.tmp", &folder);
        ASSERT_FALSE(a.Failed());
        ASSERT_FALSE(b.Failed());
        EXPECT_TRUE(a.DeletesOnDestruction());
        path1 = S(a.Path());
        path2 = S(b.Path());
        EXPECT_NE(path1, path2);
        LString leaf;
        GetLeafName(&leaf, a.Path());
        EXPECT_EQ(S(leaf).rfind("kvscnv", 0), 0u);
        EXPECT_EQ(S(leaf).substr(S(leaf).size() - 4), ".tmp");
        struct stat st;
        LString local;
        FileUrlToPosixPath(&local, a.Path());
        ASSERT_EQ(stat(local.CStr(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    EXPECT_TRUE(Names().empty());

    LString nowhere{std::string_view(dirUrl + "/missing")};
    CTempFile failed("x", &nowhere);
    EXPECT_TRUE(failed.Failed());
    EXPECT_FALSE(failed.DeletesOnDestruction());
}

TEST_F(FileOpsTest, SafeReplaceKeepsTheOldOrTheNewFile) {
    // No target yet: the new file is the target itself.
    {
        CSafeReplaceFs r(Url("doc"));
        ASSERT_TRUE(r.IsActive());
        EXPECT_EQ(S(r.NewPath()), dirUrl + "/doc");
        Write("doc", "first");
        r.Commit();
        EXPECT_FALSE(r.IsActive());
        EXPECT_EQ(r.Error(), 0u);
    }
    EXPECT_EQ(Read("doc"), "first");

    // Dropped without commit: the target is untouched, the new file gone.
    {
        CSafeReplaceFs r(Url("doc"));
        ASSERT_TRUE(r.IsActive());
        EXPECT_EQ(S(r.NewPath()), dirUrl + "/doc2");
        Write("doc2", "half written");
    }
    EXPECT_EQ(Read("doc"), "first");
    EXPECT_EQ(Names(), std::set<std::string>{"doc"});

    // Committed: the new contents under the target's name, nothing left beside it,
    // and the target's permissions kept.
    ASSERT_EQ(chmod(Local("doc").c_str(), 0600), 0);
    {
        CSafeReplaceFs r(Url("doc"));
        Write("doc2", "second");
        r.Commit();
        EXPECT_EQ(r.Error(), 0u);
        EXPECT_FALSE(r.IsActive());
        EXPECT_EQ(S(r.NewPath()), dirUrl + "/doc");
    }
    EXPECT_EQ(Read("doc"), "second");
    EXPECT_EQ(Names(), std::set<std::string>{"doc"});
    struct stat st;
    ASSERT_EQ(stat(Local("doc").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A target that cannot be replaced (a folder) keeps everything as it was.
    ASSERT_EQ(mkdir(Local("folder").c_str(), 0700), 0);
    {
        CSafeReplaceFs r(Url("folder"));
        ASSERT_TRUE(r.IsActive());
        r.Commit();
        EXPECT_EQ(r.Error(), 2u);
    }
    EXPECT_EQ(Names(), (std::set<std::string>{"doc", "folder"}));

    CSafeReplaceFs nowhere(Url("missing/doc"));
    EXPECT_FALSE(nowhere.IsActive());
    EXPECT_EQ(nowhere.Error(), 1u);
}

TEST_F(FileOpsTest, EnumeratesOneLevel) {
    CPathEnumerator empty(LString(std::string_view(dirUrl)), true);
    EXPECT_EQ(empty.Status(), 3u);
    Write("a", "");
    ASSERT_EQ(mkdir(Local("sub").c_str(), 0700), 0);
    Write("sub/deep", "");
    std::set<std::string> folders, files;
    CPathEnumerator e(LString(std::string_view(dirUrl)), true);
    ASSERT_EQ(e.Status(), 0u);
    do {
        (e.IsDirectory() ? folders : files).insert(S(e.ItemPath()));
    } while (e.Next());
    EXPECT_EQ(folders, std::set<std::string>{dirUrl + "/sub"});
    EXPECT_EQ(files, std::set<std::string>{dirUrl + "/a"});

    CPathEnumerator one(Url("sub"), false);
    EXPECT_EQ(one.Status(), 0u);
    EXPECT_TRUE(one.IsDirectory());
    CPathEnumerator none(Url("nothing"), false);
    EXPECT_EQ(none.Status(), 3u);
    EXPECT_FALSE(none.IsDirectory());
}

TEST_F(FileOpsTest, SpecialFoldersFollowXdg) {
    std::string home = Local("home"), data = Local("data"), config = Local("config"),
                tmp = Local("tmp");
    for (const auto& p : {home, config, tmp}) ASSERT_EQ(mkdir(p.c_str(), 0700), 0);
    std::ofstream(config + "/user-dirs.dirs")
        << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("TMPDIR", tmp.c_str(), 1);

    auto local = [](const LString& url) {
        LString p;
        return S(FileUrlToPosixPath(&p, url));
    };
    {
        LSpecialFolders folders;
        EXPECT_EQ(LSpecialFolders::Instance(), &folders);
        EXPECT_EQ(local(folders.Get(LSpecialFolders::kDesktop)), home + "/Schreibtisch");
        EXPECT_EQ(local(folders.Get(LSpecialFolders::kDocuments)), home + "/Documents");
        EXPECT_EQ(local(folders.Get(LSpecialFolders::kUser)), home);
        EXPECT_EQ(local(folders.Get(LSpecialFolders::kAppSupport)), data);
        EXPECT_EQ(local(folders.Get(LSpecialFolders::kTrash)), data + "/Trash/files");
        std::string temp = local(folders.Get(LSpecialFolders::kTempItems));
        EXPECT_EQ(temp, tmp + "/kevorune-" + std::to_string(geteuid()));
        struct stat st;
        ASSERT_EQ(stat(temp.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);

        CTempFile t("undo", nullptr);
        ASSERT_FALSE(t.Failed());
        EXPECT_EQ(local(t.Path()).rfind(temp + "/undo", 0), 0u);
    }
    EXPECT_EQ(LSpecialFolders::Instance(), nullptr);

    // A temporary folder that someone else could write to is not taken as ours.
    std::string theirs = tmp + "/kevorune-" + std::to_string(geteuid());
    ASSERT_EQ(chmod(theirs.c_str(), 0777), 0);
    LString ref{std::string_view(dirUrl)};
    LSpecialFolders folders(&ref);
    EXPECT_EQ(S(folders.Get(LSpecialFolders::kTempItems)), dirUrl);
    for (const char* v : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "TMPDIR"}) unsetenv(v);
}

TEST_F(FileOpsTest, FileTypesFromAStringList) {
    static const char kList[] = "\0\3TEXT\nKVSR\nShow files\ndrc\0only\ntwo\0DRC\nKV\nAll\n*\0";
    std::string list(kList, sizeof kList - 1);
    std::string a = "KVRA";
    auto put = [&a](u32 v) {
        for (int s = 24; s >= 0; s -= 8) a.push_back(char(v >> s));
    };
    put(1);
    put(FourCC("CST#"));
    put(0);
    a += std::string("\0\5TYPES", 7);
    put(u32(list.size()));
    a += list;
    u32 ref = OpenResArchive(a.data(), u32(a.size()));
    ASSERT_NE(ref, 0u);
    LResFile file(ref);
    LResId id{0, "TYPES"};
    LStrListRes res(&id, &file, FourCC("CST#"));
    ASSERT_EQ(res.Count(), 3u);
    CFileTypeList types(res);
    ASSERT_EQ(types.Count(), 2u);
    LString out;
    EXPECT_EQ(S(types.GetName(&out, 0)), "Show files");
    EXPECT_EQ(S(types.GetPattern(&out, 0)), "drc");
    EXPECT_EQ(types.GetType(0), FourCC("TEXT"));
    EXPECT_EQ(types.GetCreator(0), FourCC("KVSR"));
    EXPECT_EQ(types.GetCreator(1), FourCC("KV  "));
    EXPECT_EQ(S(types.GetPattern(&out, 1)), "*");
    EXPECT_EQ(types.GetType(2), FourCC("????"));
    EXPECT_EQ(types.GetCreator(2), FourCC("TEXT"));
    EXPECT_EQ(S(types.GetName(&out, 2)), "");
    CloseResArchive(ref);
}
