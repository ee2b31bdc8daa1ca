// The stack machine: user functions and their arguments, scopes, host calls,
// run limits, and the built-ins of the script and layout machines.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <string>

#include "TestPanes.h"
#include "framework/layout/LLayoutVM.h"

namespace {

template <class VM>
bool CompileInto(VM& vm, const std::string& text) {
    LMemReader reader(text.data(), u32(text.size()));
    const bool ok = vm.CompileText(reader);
    EXPECT_TRUE(ok) << text << ": " << vm.ErrorReport().CStr();
    return ok;
}

TEST(LayoutVM, FunctionsArgumentsAndCounts) {
    LScriptVM vm;
    ASSERT_TRUE(CompileInto(
        vm, "f # ($0 + $1); g # $5; n # $#; k # $(0 - 1); h # f(2, 3) * 10 + n(7, 8);"));
    EXPECT_EQ(vm.CallInt("f", 2, std::array<i32, 2>{2, 3}.data()), 5);
    EXPECT_EQ(vm.CallInt("g", 2, std::array<i32, 2>{2, 3}.data()), 0);
    EXPECT_EQ(vm.CallInt("n", 2, std::array<i32, 2>{2, 3}.data()), 2);
    EXPECT_EQ(vm.CallInt("n", 0, nullptr), 0);
    EXPECT_EQ(vm.CallInt("k", 1, std::array<i32, 1>{9}.data()), 0);
    EXPECT_EQ(vm.CallInt("h", 0, nullptr), 52);
    i32 out = 4;
    EXPECT_FALSE(vm.Call("nothing", 0, nullptr, &out));
    EXPECT_EQ(out, 4);
    EXPECT_TRUE(vm.Call(nullptr, 0, nullptr, &out));
    EXPECT_EQ(out, 0) << "the top level leaves no value";
    EXPECT_TRUE(vm.Call("", 0, nullptr, &out));
}

TEST(LayoutVM, EndlessLoopsFailTheCallCleanly) {
    LScriptVM vm;
    ASSERT_TRUE(CompileInto(vm,
                            "n = 0;"
                            "Spin # (@ 1 n++; 5);"
                            "Inner # (i = 0; @ (i < 1000) i++; i);"
                            "Outer # (j = 0; @ (j < 500) (Inner(); j++); j);"
                            "Ok # 7;"));
    i32 out = 3;
    EXPECT_FALSE(vm.Call("Spin", 0, nullptr, &out));
    EXPECT_EQ(out, 3);
    EXPECT_EQ(vm.CallInt("Ok", 0, nullptr), 7) << "the machine is usable after a failed run";
    EXPECT_EQ(vm.CallInt("Outer", 0, nullptr), 500)
        << "half a million iterations are still allowed";

    // A long chain of nested calls is refused, not run off the native stack.
    std::string chain = "F0 # 1;";
    for (int i = 1; i <= 300; ++i)
        chain += "F" + std::to_string(i) + " # (F" + std::to_string(i - 1) + "() + 1);";
    ASSERT_TRUE(CompileInto(vm, chain));
    EXPECT_EQ(vm.CallInt("F150", 0, nullptr), 151);
    EXPECT_FALSE(vm.Call("F300", 0, nullptr, &out));
}

TEST(LayoutVM, ScriptBuiltins) {
    LScriptVM vm;
    ASSERT_TRUE(CompileInto(
        vm,
        "A # max(3, -7, 5); B # min(4); C # min(3, -7, 5); D # abs(-5); E # abs(-2147483647 - 1);"
        "G # arraylength(7); H # abs(6);"));
    EXPECT_EQ(vm.CallInt("A", 0, nullptr), 5);
    EXPECT_EQ(vm.CallInt("B", 0, nullptr), 4);
    EXPECT_EQ(vm.CallInt("C", 0, nullptr), -7);
    EXPECT_EQ(vm.CallInt("D", 0, nullptr), 5);
    EXPECT_EQ(vm.CallInt("E", 0, nullptr), INT_MIN);
    EXPECT_EQ(vm.CallInt("G", 0, nullptr), 0);
    EXPECT_EQ(vm.CallInt("H", 0, nullptr), 6);
}

struct LayoutFixture : ::testing::Test {
    TestContainer box;
    TestPane* kid[3];
    LLayoutVM vm{&box.fChildren};
    LayoutFixture() {
        kid[0] = new TestPane(&box, &box, 50, 20);
        kid[1] = new TestPane(&box, &box, 70, 24);
        kid[2] = new TestPane(&box, &box, 30, 10);
        for (TestPane* k : kid) k->SetState(LPane::kOpContainerShown);
    }
    i32 Run(const std::string& body) {
        std::string text = "T # (" + body + ");";
        EXPECT_TRUE(CompileInto(vm, text));
        return vm.CallInt("T", 0, nullptr);
    }
};

}  // namespace
