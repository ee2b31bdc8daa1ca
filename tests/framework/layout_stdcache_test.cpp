// The direct dialect's standard definitions are evaluated once per process and
// cached; the compiled dialect reads its standard item at every compile. Its
// own program, so that no other test fills the cache first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Resources.h"
#include "framework/layout/LExprEval.h"
#include "framework/layout/LLayoutVM.h"

namespace {

void Put32(std::vector<u8>& out, u32 v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(u8(v >> s));
}

// A resource archive with one 'TLYO' list "STDLAYOUT" of the given items.
std::vector<u8> StdArchive(const std::vector<std::string>& items) {
    std::vector<u8> list{u8(items.size() >> 8), u8(items.size())};
    for (const std::string& s : items) {
        list.insert(list.end(), s.begin(), s.end());
        list.push_back(0);
    }
    std::vector<u8> a{'K', 'V', 'R', 'A'};
    Put32(a, 1);
    Put32(a, kLayoutResType);
    Put32(a, 0);
    const std::string name = kStdLayoutName;
    a.push_back(u8(name.size() >> 8));
    a.push_back(u8(name.size()));
    a.insert(a.end(), name.begin(), name.end());
    Put32(a, u32(list.size()));
    a.insert(a.end(), list.begin(), list.end());
    return a;
}

TEST(LayoutStdCache, DirectDefinitionsAreEvaluatedOnce) {
    const std::vector<u8> first =
        StdArchive({"marker = 5\ncount = count + 1\nTwice #%0 * 2#", "cmarker = 5;\n"});
    const std::vector<u8> second = StdArchive({"marker = 7\nTwice #%0 * 3#", "cmarker = 7;\n"});
    const u32 refA = OpenResArchive(first.data(), u32(first.size()));
    const u32 refB = OpenResArchive(second.data(), u32(second.size()));
    ASSERT_NE(refA, 0u);
    ASSERT_NE(refB, 0u);
    LResFile fileA(refA), fileB(refB);
    LList none;

    SetDefaultResChain(&fileA);
    {
        LLayoutEval e(nullptr, &none);
        EXPECT_EQ(e.Run("marker * 100 + count * 10 + Twice(1)"), 512);
        // Changes a layout makes stay with its evaluator.
        e.Run("marker = 9\nTwice #0#");
    }
    SetDefaultResChain(&fileB);
    {
        LLayoutEval e(nullptr, &none);
        EXPECT_EQ(e.Run("marker * 100 + count * 10 + Twice(1)"), 512);
        LLayoutEval again(nullptr, &none);
        EXPECT_EQ(again.Run("count"), 1);
    }
    // The compiled dialect takes the current standard item.
    LLayoutVM vm(&none);
    ASSERT_TRUE(vm.CompileLayout("", "pp(0, 0, 0, cmarker, 1)", ""));
    ASSERT_TRUE(vm.RunPref(nullptr));
    EXPECT_EQ(vm.ResultRect().right, 7);
    SetDefaultResChain(nullptr);
    CloseResArchive(refA);
    CloseResArchive(refB);
}

}  // namespace
