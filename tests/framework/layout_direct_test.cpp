// The direct layout dialect: statements, arithmetic, functions with their
// variable scopes, argument loops, the built-ins and the run limits.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "TestPanes.h"
#include "framework/layout/LExprEval.h"

namespace {

i32 Eval(const char* text) {
    LExprEval e;
    return e.Run(text);
}

TEST(LayoutDirect, BuiltinsOfTheEvaluator) {
    EXPECT_EQ(Eval("sqrt(10) * 100 + sqrt(13) * 10 + sqrt(0 - 4)"), 340);
    EXPECT_EQ(Eval("sqrt()"), 0);
    EXPECT_EQ(Eval("min() + max()"), 0);
    EXPECT_EQ(Eval("max(3, 9, -2)"), 9);
    EXPECT_EQ(Eval("min(3, 9, -2)"), -2);
    EXPECT_EQ(Eval("pp(0, 1, 2, 3, 4) + 5"), 5) << "no pane built-ins in the plain evaluator";
}

TEST(LayoutDirect, EndlessRecursionAndLoopsFailTheRunOnly) {
    LExprEval e;
    EXPECT_EQ(e.Run("x = 1\nf #f() + 1#\nf()"), 0);
    EXPECT_TRUE(e.Failed());
    EXPECT_EQ(e.Run("1 + 1"), 2);
    EXPECT_FALSE(e.Failed());
    EXPECT_EQ(e.Run("x"), 1);

    EXPECT_EQ(e.Run("g #%i(i = 0)#\ng(1, 2)\n5"), 0);
    EXPECT_TRUE(e.Failed());
    EXPECT_EQ(e.Run("h #%i(i = -7)#\nh(1)\n5"), 0);
    EXPECT_TRUE(e.Failed());

    // Calls that fan out are bounded too.
    EXPECT_EQ(
        e.Run("a #1#\nb #a()+a()+a()+a()#\nc #b()+b()+b()+b()#\nd #c()+c()+c()+c()#\n"
              "e #d()+d()+d()+d()#\nf #e()+e()+e()+e()#\nk #f()+f()+f()+f()#\nm #k()+k()+k()+k()#\n"
              "n #m()+m()+m()+m()#\nn() + n() + n()"),
        0);
    EXPECT_TRUE(e.Failed());
    EXPECT_EQ(e.Run("d()"), 64);

    EXPECT_EQ(e.Run((std::string(100000, '(') + "1").c_str()), 0);
    EXPECT_TRUE(e.Failed());
    EXPECT_EQ(e.Run((std::string(100000, '-') + "1").c_str()), 0);
    EXPECT_TRUE(e.Failed());
    EXPECT_EQ(e.Run("2"), 2);
}

TEST(LayoutDirect, TextBodiesAndOddInput) {
    EXPECT_EQ(Eval("f #%0 * 3"), 0) << "an unclosed body runs to the end";
    EXPECT_EQ(Eval("f #%0 * 3\nf(2)"), 0);
    EXPECT_EQ(Eval("a = 3 $ @ { } ' + 1"), 4);
    std::string withZero("a = 2\0 + 5", 10);
    EXPECT_EQ(LExprEval().Run(LString(withZero.data(), u32(withZero.size()))), 2);
}

}  // namespace
