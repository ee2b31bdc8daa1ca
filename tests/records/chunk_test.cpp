#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/CMemStrm.h"
#include "records/CChunkStrm.h"

namespace {

std::vector<u8> Bytes(LDataBuf& buf, u32 n) {
    return std::vector<u8>(buf.Data(), buf.Data() + n);
}

TEST(ChunkStream, SubChunkIsClippedToItsParent) {
    // Parent of 12 payload bytes holding a sub-chunk that claims 100.
    u8 data[] = {'P', 'A', 'R', 'T', 0, 0, 0, 12, 'S', 'U', 'B', ' ',
                 0,   0,   0,   100, 1, 2, 3, 4,  'N', 'E', 'X', 'T'};
    CMemStrm s(data, sizeof(data));
    CChunkReader p;
    p.Open(&s);
    CChunkReader sub;
    sub.OpenSub(p);
    EXPECT_EQ(sub.Tag(), FourCC("SUB "));
    EXPECT_EQ(sub.End(), 20u);
    u32 v;
    EXPECT_TRUE(sub.ReadU32(&v));
    EXPECT_EQ(v, 0x01020304u);
    EXPECT_FALSE(sub.ReadU32(&v));
    EXPECT_EQ(s.Position(), 20u);
    sub.Close();
    CChunkReader none;
    none.OpenSub(p);
    EXPECT_EQ(none.Tag(), 0u);
    // A top-level length past the stream never reads past the buffer.
    u8 liar[] = {'L', 'I', 'E', 'S', 0xFF, 0xFF, 0xFF, 0xF0, 'a', 'b'};
    CMemStrm ls(liar, sizeof(liar));
    CChunkReader lr;
    lr.Open(&ls);
    EXPECT_EQ(lr.Tag(), FourCC("LIES"));
    EXPECT_FALSE(lr.ReadU32(&v));
    LString text;
    CMemStrm ls2(liar, sizeof(liar));
    lr.Open(&ls2);
    EXPECT_FALSE(lr.ReadString(&text));
    // Empty stream and a short header read as tag 0.
    CMemStrm empty(nullptr, 0);
    CChunkReader er;
    er.Open(&empty);
    EXPECT_EQ(er.Tag(), 0u);
    u8 shorty[] = {'A', 'B', 'C'};
    CMemStrm ss(shorty, 3);
    er.Open(&ss);
    EXPECT_EQ(er.Tag(), 0u);
}

TEST(ChunkStream, TextLineEnds) {
    LDataBuf buf;
    u64 end;
    {
        CMemStrm s(buf);
        CChunkWriter w;
        w.Open(&s, FourCC("TEXT"));
        w.WriteText("a\r\nb\rc", 6);
        w.WriteText("", 0);
        w.WriteString("\r\r\n");
        w.Close();
        end = s.Position();
    }
    ASSERT_EQ(end, 8u + 10u);
    EXPECT_EQ(Bytes(buf, 18), (std::vector<u8>{'T', 'E', 'X', 'T', 0, 0, 0, 10, 'a', '\n', 'b',
                                               '\n', 'c', 0, 0, '\n', '\n', 0}));
    CMemStrm r(buf.Data(), u32(end));
    CChunkReader c;
    c.Open(&r);
    LString s;
    EXPECT_TRUE(c.ReadString(&s));
    EXPECT_STREQ(s.CStr(), "a\nb\nc");
    EXPECT_TRUE(c.ReadString(&s));
    EXPECT_STREQ(s.CStr(), "");
    LDataBuf raw;
    u32 n = 0;
    EXPECT_TRUE(c.ReadText(raw, &n));
    EXPECT_EQ(n, 3u);
    EXPECT_FALSE(c.ReadString(&s));

    // A text without its 0 before the chunk end fails; so does a long one.
    u8 open[] = {'T', 'E', 'X', 'T', 0, 0, 0, 2, 'h', 'i'};
    CMemStrm os(open, sizeof(open));
    c.Open(&os);
    EXPECT_FALSE(c.ReadString(&s));
    std::string longText(1000, 'q');
    LDataBuf big;
    {
        CMemStrm bs(big);
        CChunkWriter w;
        w.Open(&bs, FourCC("LONG"));
        w.WriteString(longText.c_str());
        w.Close();
    }
    CMemStrm br(big.Data(), big.Capacity());
    c.Open(&br);
    EXPECT_TRUE(c.ReadString(&s));
    EXPECT_EQ(s.Length(), 1000u);
}

// Python's own chunk reader (IFF style, big-endian, aligned) walks what we wrote.
TEST(ChunkStream, ForeignReaderAgrees) {
    if (std::system("python3 -W ignore -c 'import chunk' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no python3 chunk";
    const std::string dir = KEVO_BINARY_DIR;
    const std::string path = dir + "/chunk_test_walk.bin";
    {
        LDataBuf buf;
        u64 end;
        {
            CMemStrm s(buf);
            const char* names[] = {"ONE ", "TWO ", "THRE"};
            for (int i = 0; i < 3; ++i) {
                CChunkWriter w;
                w.Open(&s, FourCC("TOPS"));
                w.WriteU32(i);
                for (int k = 0; k <= i; ++k) {
                    CChunkWriter sub;
                    char tag[5];
                    std::snprintf(tag, 5, "%s", names[k]);
                    sub.OpenSub(w, (u32(u8(tag[0])) << 24) | (u32(u8(tag[1])) << 16) |
                                       (u32(u8(tag[2])) << 8) | u8(tag[3]));
                    sub.WriteBytes("abcde", u32(k + 1));  // odd and even sizes
                    sub.Close();
                }
                w.Close();
            }
            end = s.Position();
        }
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(buf.Data()), std::streamsize(end));
    }
    const std::string script =
        "import chunk, io, sys\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "f = io.BytesIO(data)\n"
        "out = []\n"
        "while True:\n"
        "    try:\n"
        "        c = chunk.Chunk(f, bigendian=True, align=True)\n"
        "    except EOFError:\n"
        "        break\n"
        "    body = io.BytesIO(c.read())\n"
        "    n = int.from_bytes(body.read(4), 'big')\n"
        "    subs = []\n"
        "    while True:\n"
        "        try:\n"
        "            s = chunk.Chunk(body, bigendian=True, align=True)\n"
        "        except EOFError:\n"
        "            break\n"
        "        subs.append('%s:%d:%s' % (s.getname().decode(), s.getsize(), s.read().decode()))\n"
        "    out.append('%s %d %s' % (c.getname().decode(), n, ','.join(subs)))\n"
        "print(';'.join(out))\n";
    const std::string scriptPath = dir + "/chunk_test_walk.py";
    std::ofstream(scriptPath) << script;
    const std::string cmd = "python3 -W ignore::DeprecationWarning " + scriptPath + " " + path;
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512] = {0};
    const bool got = std::fgets(line, sizeof(line), p) != nullptr;
    EXPECT_EQ(pclose(p), 0);
    ASSERT_TRUE(got);
    EXPECT_STREQ(
        line, "TOPS 0 ONE :1:a;TOPS 1 ONE :1:a,TWO :2:ab;TOPS 2 ONE :1:a,TWO :2:ab,THRE:3:abc\n");
    std::remove(path.c_str());
    std::remove(scriptPath.c_str());
}

TEST(ChunkStream, AReplyIsOneWholeChunkOrNothing) {
    const std::vector<u8> even = {'R', 'E', 'C', 'D', 0, 0, 0, 4, 1, 2, 3, 4};
    const std::vector<u8> odd = {'R', 'E', 'C', 'D', 0, 0, 0, 3, 1, 2, 3};
    auto with = [](std::vector<u8> b, std::initializer_list<u8> more) {
        b.insert(b.end(), more);
        return b;
    };
    const struct {
        const char* what;
        std::vector<u8> bytes;
        bool whole;
    } cases[] = {
        {"empty: no chunk at all", {}, true},
        {"even length", even, true},
        {"odd length with its pad byte", with(odd, {0}), true},
        {"odd length without the pad byte", odd, true},
        {"empty payload", {'R', 'E', 'C', 'D', 0, 0, 0, 0}, true},
        {"cut in the header", {'R', 'E', 'C', 'D', 0, 0}, false},
        {"cut in the payload", {even.begin(), even.end() - 1}, false},
        {"length far past the end", {'R', 'E', 'C', 'D', 0xFF, 0xFF, 0xFF, 0xF0, 1, 2}, false},
        {"a byte after an even chunk", with(even, {0}), false},
        {"two bytes after an odd chunk", with(odd, {0, 0}), false},
        {"a second chunk after it", with(even, {'R', 'E', 'C', 'D', 0, 0, 0, 0}), false},
    };
    for (const auto& c : cases) {
        std::vector<u8> copy = c.bytes;
        CMemStrm s(copy.empty() ? nullptr : copy.data(), u32(copy.size()));
        s.SetPosition(copy.size());
        EXPECT_EQ(ReplyChunkWhole(&s), c.whole) << c.what;
        EXPECT_EQ(s.Position(), 0u) << c.what;
        EXPECT_EQ(s.Error(), CStrm::kErrNone) << c.what;
    }
}

}  // namespace
