#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "base/CForkStrm.h"
#include "base/FileOps.h"
#include "base/Paths.h"
#include "base/Resources.h"
#include "tools/testkit/KillRounds.h"

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
    // New and existing targets alike are written to a hidden file beside them.
    for (const char* target : {"doc", "doc"}) {
        const bool existed = Exists(target);
        {
            CSafeReplaceFs r(Url(target));
            ASSERT_TRUE(r.IsActive());
            const std::string leaf = S(r.NewPath()).substr(dirUrl.size() + 1);
            EXPECT_EQ(leaf.rfind(".doc.kvtmp-" + std::to_string(getpid()) + "-", 0), 0u) << leaf;
            EXPECT_EQ(Exists(target), existed);
            Write(leaf, existed ? "second" : "first");
            r.Commit();
            EXPECT_FALSE(r.IsActive());
            EXPECT_EQ(r.Error(), 0u);
            EXPECT_EQ(S(r.NewPath()), dirUrl + "/doc");
        }
        EXPECT_EQ(Read("doc"), existed ? "second" : "first");
        EXPECT_EQ(Names(), std::set<std::string>{"doc"});
    }

    // Dropped without commit: the target is untouched, the new file gone; a new
    // target never appears.
    for (const char* target : {"doc", "new"}) {
        CSafeReplaceFs r(Url(target));
        ASSERT_TRUE(r.IsActive());
        Write(S(r.NewPath()).substr(dirUrl.size() + 1), "half written");
    }
    EXPECT_EQ(Read("doc"), "second");
    EXPECT_EQ(Names(), std::set<std::string>{"doc"});

    // The target's permissions are kept.
    ASSERT_EQ(chmod(Local("doc").c_str(), 0600), 0);
    {
        CSafeReplaceFs r(Url("doc"));
        Write(S(r.NewPath()).substr(dirUrl.size() + 1), "third");
        r.Commit();
        EXPECT_EQ(r.Error(), 0u);
    }
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

    // A leaf as long as a folder takes still leaves room for the temporary's tag.
    const std::string longLeaf(250, 'x');
    {
        CSafeReplaceFs r(Url(longLeaf));
        ASSERT_TRUE(r.IsActive());
        Write(S(r.NewPath()).substr(dirUrl.size() + 1), "long");
        r.Commit();
        EXPECT_EQ(r.Error(), 0u);
    }
    EXPECT_EQ(Read(longLeaf), "long");
}

// Temporaries of processes that are gone are removed; nothing else is.
TEST_F(FileOpsTest, LeftoversOfDeadWritersAreRemovedOnly) {
    // A process that has ended, and the start times of live ones.
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    ASSERT_GT(dead, 0);
    waitpid(dead, nullptr, 0);
    auto startOf = [](long pid) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string stat;
        std::getline(in, stat);
        std::string rest = stat.substr(stat.rfind(')') + 2);
        std::istringstream fields(rest);
        std::string f;
        for (int i = 3; i <= 22; ++i) fields >> f;
        return f;
    };
    char hostBuf[256] = {};
    gethostname(hostBuf, sizeof hostBuf - 1);
    std::string host;
    for (const char* c = hostBuf; *c && host.size() < 24; ++c)
        if (isalnum(static_cast<unsigned char>(*c))) host += *c;
    if (host.empty()) host = "host";
    const std::string self = std::to_string(getpid()), parent = std::to_string(getppid());
    const struct {
        std::string name;
        bool removed;
    } cases[] = {
        {".play.kvp.kvtmp-" + std::to_string(dead) + "-1234-" + host + "-3", true},
        {"undo99.kvtmp-" + std::to_string(dead) + "-1234-" + host + "-1.tmp", true},
        // Our own id, but another start: the id was reused after a killed run.
        {".a.kvtmp-" + self + "-1-" + host + "-1", true},
        // Live writers: this process and its parent.
        {".b.kvtmp-" + self + "-" + startOf(getpid()) + "-" + host + "-9", false},
        {".c.kvtmp-" + parent + "-" + startOf(getppid()) + "-" + host + "-1", false},
        // Another machine's file in a shared folder.
        {".d.kvtmp-" + std::to_string(dead) + "-1234-otherhost" + host + "-1", false},
        // Users' files, however alike.
        {"play38.kvp", false},
        {".play.kvp", false},
        {".e.kvtmp-" + std::to_string(dead) + "-1234-" + host + "-1x", false},
        {".f.kvtmp-" + std::to_string(dead) + "-" + host + "-1", false},
    };
    std::set<std::string> kept;
    for (const auto& c : cases) {
        Write(c.name, "x");
        if (!c.removed) kept.insert(c.name);
    }
    // Links and folders are never removed, whatever their names.
    const std::string link = ".g.kvtmp-" + std::to_string(dead) + "-1234-" + host + "-1";
    ASSERT_EQ(symlink("play38.kvp", Local(link).c_str()), 0);
    const std::string folder = ".h.kvtmp-" + std::to_string(dead) + "-1234-" + host + "-1";
    ASSERT_EQ(mkdir(Local(folder).c_str(), 0700), 0);
    kept.insert(link);
    kept.insert(folder);

    RemoveDeadTemporaries(LString(std::string_view(dirUrl)));
    EXPECT_EQ(Names(), kept);

    // A save into the folder sweeps it too, and keeps a live save's file.
    Write(cases[0].name, "x");
    {
        CSafeReplaceFs live(Url("other"));
        ASSERT_TRUE(live.IsActive());
        const std::string liveLeaf = S(live.NewPath()).substr(dirUrl.size() + 1);
        CSafeReplaceFs r(Url("play.kvp"));
        ASSERT_TRUE(r.IsActive());
        RemoveDeadTemporaries(LString(std::string_view(dirUrl)));
        EXPECT_TRUE(Exists(liveLeaf));
        EXPECT_TRUE(Exists(S(r.NewPath()).substr(dirUrl.size() + 1)));
    }
    EXPECT_FALSE(Exists(cases[0].name));
}

// Saves killed at random moments: the target holds the old or the new file, whole,
// or (new targets) nothing; no file a user would see is left, and what is hidden
// goes with the next run's sweep.
TEST_F(FileOpsTest, KilledSavesLeaveTheOldOrTheNewFile) {
    std::mt19937 rng(51);
    const std::string oldText(40000, 'o');
    const std::string newText(60000, 'n');
    u32 rounds = 0, midSave = 0, leftovers = 0;
    for (const bool existing : {false, true}) {
        for (u32 i = 0; i < 25; ++i) {
            std::system(("rm -rf '" + dir + "'/* '" + dir + "'/.[!.]*").c_str());
            if (existing) Write("play.kvp", oldText);
            const testkit::KillResult k = testkit::KillDuringSaves(
                [&] {
                    CSafeReplaceFs r(Url("play.kvp"));
                    CForkStrm out(r.NewPath(), CStrm::kModeWrite);
                    out.Write(newText.data(), newText.size());
                    out.SetSize();
                    out.Close();
                    if (out.Error() == CStrm::kErrNone) r.Commit();
                },
                3000, rng);
            ASSERT_TRUE(k.started);
            ++rounds;
            midSave += k.midSave;
            const std::string got = Exists("play.kvp") ? Read("play.kvp") : "<none>";
            const bool whole = got == newText || got == (existing ? oldText : "<none>");
            EXPECT_TRUE(whole) << "cut off: " << got.size() << " bytes";
            for (const std::string& n : Names()) {
                if (n == "play.kvp") continue;
                EXPECT_EQ(n[0], '.') << n;
                ++leftovers;
            }
            RemoveDeadTemporaries(LString(std::string_view(dirUrl)));
            const std::set<std::string> target{"play.kvp"};
            EXPECT_EQ(Names(), got == "<none>" ? std::set<std::string>{} : target)
                << "after the sweep";
        }
    }
    std::printf("%u killed saves, %u of them inside a save, %u hidden leftovers swept\n", rounds,
                midSave, leftovers);
}

// A full disk: the save fails, the old file stays, no new or partial file is left.
TEST_F(FileOpsTest, FullDiskKeepsTheOldFile) {
    const std::string why = testkit::OnSmallDisk(dir, 256, [&]() -> std::string {
        Write("play.kvp", "old");
        if (!testkit::FillDisk(dir, "filler")) return "the disk did not fill";
        for (const char* target : {"play.kvp", "new.kvp"}) {
            bool failed = false;
            {
                CSafeReplaceFs r(Url(target));
                if (!r.IsActive()) {
                    failed = true;
                } else {
                    CForkStrm out(r.NewPath(), CStrm::kModeWrite);
                    const std::string text(20000, 'n');
                    out.Write(text.data(), text.size());
                    out.SetSize();
                    out.Close();
                    failed = out.Error() != CStrm::kErrNone;
                    if (!failed) {
                        r.Commit();
                        failed = r.Error() != 0;
                    }
                }
            }
            if (!failed) return std::string(target) + ": the save reported success";
        }
        if (Read("play.kvp") != "old") return "the old file changed";
        const std::set<std::string> want{"play.kvp", "filler"};
        if (Names() != want) return "left behind: " + std::to_string(Names().size()) + " names";
        return "";
    });
    if (why.rfind("unshare", 0) == 0) GTEST_SKIP() << why;
    EXPECT_EQ(why, "");
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
