#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/CBufFileStrm.h"
#include "base/CMemStrm.h"
#include "base/LArray.h"
#include "base/LHandle.h"
#include "base/LPngChunkReader.h"
#include "base/CForkStrm.h"
#include "base/Paths.h"

namespace {

// A temporary file removed when the test ends.
class TempFile {
public:
    explicit TempFile(const std::vector<u8>& contents = {}) {
        char name[] = "/tmp/kvstrmXXXXXX";
        int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        fPath = name;
        if (!contents.empty()) {
            EXPECT_EQ(write(fd, contents.data(), contents.size()), ssize_t(contents.size()));
        }
        close(fd);
    }
    ~TempFile() { unlink(fPath.c_str()); }
    // The application file path ("file:///Root/...") that streams open.
    LString Path() const {
        LString url;
        return PosixPathToFileUrl(&url, LString(fPath.c_str()));
    }
    std::vector<u8> Read() const {
        std::vector<u8> out;
        int fd = open(fPath.c_str(), O_RDONLY);
        u8 buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
        close(fd);
        return out;
    }

private:
    std::string fPath;
};

std::vector<u8> Pattern(size_t n, u8 seed = 1) {
    std::vector<u8> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = u8(i * 7 + seed);
    return v;
}

TEST(CMemStrmTest, FixedBufferLimitsAndFirstErrorKept) {
    u8 fixed[10];
    std::memset(fixed, 'x', sizeof fixed);
    {
        CMemStrm s(fixed, sizeof fixed);
        EXPECT_EQ(s.End(), 10u);
        u8 out[20];
        u64 n = sizeof out;
        s.Read(out, &n);
        EXPECT_EQ(n, 10u);
        EXPECT_EQ(s.Error(), 0u);
    }
    {
        CMemStrm s(fixed, sizeof fixed);
        s.SetPosition(8);
        s.Write("abcd", 4);
        EXPECT_EQ(s.Error(), CStrm::kErrWrite);
        EXPECT_EQ(std::memcmp(fixed, "xxxxxxxxxx", 10), 0);  // nothing written
        // Everything after the first error is a no-op.
        s.SetError(CStrm::kErrReadOnly);
        EXPECT_EQ(s.Error(), CStrm::kErrWrite);
        s.SetPosition(0);
        EXPECT_EQ(s.Position(), 8u);
        u8 out[4];
        u64 n = sizeof out;
        s.Read(out, &n);
        EXPECT_EQ(n, 0u);
    }
    {
        CMemStrm s(nullptr, 100);  // no buffer: no room, no crash
        EXPECT_EQ(s.End(), 0u);
        s.Write("a", 1);
        EXPECT_EQ(s.Error(), CStrm::kErrWrite);
    }
}

// Bytes skipped by SetPosition, or exposed by Commit, read as zeros.
TEST(CMemStrmTest, GapsAreZeroFilled) {
    LDataBuf buf;
    std::vector<u8> junk(64, 0xAA);
    ASSERT_TRUE(buf.Assign(junk.data(), 64));
    {
        CMemStrm s(buf);
        s.Write("ab", 2);
        s.SetPosition(10);
        s.Write("c", 1);
        s.SetPosition(20);
        s.Commit();
    }
    ASSERT_EQ(buf.Capacity(), 20u);
    const u8 expect[20] = {'a', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 'c'};
    EXPECT_EQ(std::memcmp(buf.Data(), expect, 20), 0);

    LArray arr(1);
    ASSERT_TRUE(arr.SetAll(junk.data(), 64));
    arr.RemoveAt(0, 64);  // stale bytes stay in the block
    {
        CMemStrm s(arr);
        s.Write("q", 1);
        s.SetPosition(30);
        s.Commit();
        s.SetPosition(40);
        s.Write("r", 1);
    }
    ASSERT_EQ(arr.Count(), 41u);
    for (u32 i = 1; i < 40; ++i) EXPECT_EQ(arr.DataAs<u8>()[i], 0) << i;
    EXPECT_EQ(arr.DataAs<u8>()[40], 'r');
}

// Random positioned writes, reads and commits against a plain byte model.
TEST(CMemStrmTest, MatchesModelUnderRandomAccess) {
    std::mt19937 rng(7);
    LDataBuf buf;
    std::vector<u8> model;
    {
        CMemStrm s(buf);
        u64 pos = 0;
        for (int step = 0; step < 2000; ++step) {
            const u32 len = rng() % 300;
            switch (rng() % 6) {
                case 0:
                    pos = rng() % 4000;
                    s.SetPosition(pos);
                    break;
                case 1:
                case 2: {
                    std::vector<u8> data(len);
                    for (auto& b : data) b = u8(rng());
                    s.Write(data.data(), len);
                    if (model.size() < pos + len) model.resize(pos + len, 0);
                    std::copy(data.begin(), data.end(), model.begin() + pos);
                    pos += len;
                    break;
                }
                case 3: {
                    std::vector<u8> got(len);
                    u64 n = len;
                    s.Read(got.data(), &n);
                    const u64 expectN =
                        pos >= model.size() ? 0 : std::min<u64>(len, model.size() - pos);
                    ASSERT_EQ(n, expectN) << "step " << step;
                    ASSERT_TRUE(std::equal(got.begin(), got.begin() + n, model.begin() + pos))
                        << "step " << step;
                    pos += n;
                    break;
                }
                case 4:
                    if (rng() % 4 == 0) {
                        s.Commit();
                        model.resize(pos, 0);
                    }
                    break;
                default:
                    break;
            }
            ASSERT_EQ(s.Position(), pos);
            ASSERT_EQ(s.End(), model.size());
            ASSERT_EQ(s.Error(), 0u);
        }
    }
    ASSERT_EQ(buf.Capacity(), model.size());
    EXPECT_TRUE(std::equal(model.begin(), model.end(), buf.Data()));
}

TEST(CForkStrmTest, OpenReadWriteAndSize) {
    TempFile f(Pattern(100));
    {
        CForkStrm s(f.Path(), CStrm::kModeWrite, CForkStrm::kFlagResourceFork);
        EXPECT_EQ(s.Error(), CStrm::kErrOpen);
    }
    // A missing file, and paths that are no application file path.
    for (const char* path : {"file:///Root/tmp/kv-no-such-dir/none", "/tmp/kvstrm-local",
                             "file:///NoSuchVolume/x", "http://host/x"}) {
        SCOPED_TRACE(path);
        CForkStrm s{LString(path), 0};
        EXPECT_EQ(s.Error(), CStrm::kErrOpen);
        u8 b[4];
        u64 n = 4;
        s.Read(b, &n);
        EXPECT_EQ(n, 0u);
    }
    {
        CForkStrm s(f.Path(), 0);
        s.SeekToEnd();
        EXPECT_EQ(s.Position(), 100u);
        s.SetSize();
        EXPECT_EQ(s.Error(), CStrm::kErrReadOnly);
    }
    {
        CForkStrm s(f.Path(), CStrm::kModeWrite);
        s.SetPosition(98);
        s.Write("xyz", 3);
        EXPECT_EQ(s.Position(), 101u);
        s.SetPosition(50);
        s.SetSize();
        s.SeekToEnd();
        EXPECT_EQ(s.Position(), 50u);
        EXPECT_EQ(s.Error(), 0u);
    }
    EXPECT_EQ(f.Read(), std::vector<u8>(Pattern(50)));
}

// Short reads at the end, writes to a stream opened for reading, and the
// first error stopping everything after it.
TEST(CForkStrmTest, EndOfFileAndStickyErrors) {
    TempFile f(Pattern(5000));
    {
        CForkStrm s(f.Path(), 0);
        s.SetPosition(4000);
        std::vector<u8> buf(4096);
        u64 n = buf.size();
        s.Read(buf.data(), &n);
        EXPECT_EQ(n, 1000u);
        EXPECT_EQ(s.Error(), 0u);
        EXPECT_EQ(s.Position(), 5000u);
        EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 1000, Pattern(5000).begin() + 4000));
    }
    CForkStrm s(f.Path(), 0);
    s.SetPosition(10);
    s.Write("abc", 3);
    EXPECT_EQ(s.Error(), CStrm::kErrReadOnly);
    EXPECT_EQ(s.Position(), 10u);
    s.SetPosition(20);
    s.SeekToEnd();
    EXPECT_EQ(s.Position(), 10u);
    u8 b[8];
    u64 n = sizeof b;
    s.Read(b, &n);
    EXPECT_EQ(n, 0u);
    s.SetSize();
    EXPECT_EQ(s.Error(), CStrm::kErrReadOnly);
    EXPECT_EQ(f.Read(), std::vector<u8>(Pattern(5000)));
}

// Random positioned reads and writes against a plain byte model.
class CBufFileStrmModelTest : public ::testing::TestWithParam<u32> {};
INSTANTIATE_TEST_SUITE_P(Seeds, CBufFileStrmModelTest, ::testing::Range(1u, 17u));

TEST_P(CBufFileStrmModelTest, MatchesModelUnderRandomAccess) {
    std::mt19937 rng(GetParam());
    std::vector<u8> model = Pattern(3000, 3);
    TempFile f(model);
    {
        CBufFileStrm s(f.Path(), CStrm::kModeWrite);
        for (int step = 0; step < 400; ++step) {
            const u64 pos = rng() % 5000;
            const u32 sizes[] = {1, 3, 100, 511, 512, 513, 1024, 1500};
            const u32 len = sizes[rng() % 8];
            s.SetPosition(pos);
            switch (rng() % 5) {
                case 0:
                case 1: {
                    std::vector<u8> data(len);
                    for (auto& b : data) b = u8(rng());
                    s.Write(data.data(), len);
                    if (model.size() < pos + len) model.resize(pos + len, 0);
                    std::copy(data.begin(), data.end(), model.begin() + pos);
                    break;
                }
                case 2: {
                    std::vector<u8> got(len);
                    u64 n = len;
                    s.Read(got.data(), &n);
                    const u64 expectN =
                        pos >= model.size() ? 0 : std::min<u64>(len, model.size() - pos);
                    ASSERT_EQ(n, expectN) << "step " << step;
                    ASSERT_TRUE(std::equal(got.begin(), got.begin() + n, model.begin() + pos))
                        << "step " << step;
                    break;
                }
                case 3:
                    if (rng() % 4 == 0) {
                        s.SetSize();
                        model.resize(pos, 0);
                    }
                    break;
                default:
                    s.SeekToEnd();
                    ASSERT_EQ(s.Position(), model.size()) << "step " << step;
                    break;
            }
            ASSERT_EQ(s.Error(), 0u) << "step " << step;
        }
    }
    EXPECT_EQ(f.Read(), model);
}

std::vector<u8> PngBytes() {
    std::vector<u8> v = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&v](const char* type, u32 len) {
        const u8 hdr[8] = {u8(len >> 24), u8(len >> 16), u8(len >> 8), u8(len),
                           u8(type[0]),   u8(type[1]),   u8(type[2]),  u8(type[3])};
        v.insert(v.end(), hdr, hdr + 8);
        for (u32 i = 0; i < len; ++i) v.push_back(u8(i));
        v.insert(v.end(), 4, 0xCC);  // CRC, not checked
    };
    chunk("IHDR", 13);
    chunk("IEND", 0);
    return v;
}

TEST(LPngChunkReaderTest, WalksChunkHeaders) {
    std::vector<u8> png = PngBytes();
    CMemStrm s(png.data(), u32(png.size()));
    LPngChunkReader r(&s);
    ASSERT_TRUE(r.Next());
    EXPECT_EQ(r.Type(), FourCC("IHDR"));
    EXPECT_EQ(r.Length(), 13u);
    EXPECT_EQ(s.Position(), 16u);  // the data follows
    ASSERT_TRUE(r.Next());
    EXPECT_EQ(r.Type(), FourCC("IEND"));
    EXPECT_EQ(r.Length(), 0u);
    EXPECT_FALSE(r.Next());  // no more header
    EXPECT_FALSE(r.Next());

    png[1] = 'Q';
    CMemStrm bad(png.data(), u32(png.size()));
    LPngChunkReader rb(&bad);
    EXPECT_FALSE(rb.Next());
    EXPECT_FALSE(rb.Next());
    CMemStrm shortStrm(png.data(), 5);
    EXPECT_FALSE(LPngChunkReader(&shortStrm).Next());
}

}  // namespace
