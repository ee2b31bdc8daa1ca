// The compiled layout dialect: lexer, precedence, code generation and the
// compile errors with their positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "framework/layout/LScriptVM.h"

namespace {

struct Script {
    LScriptVM vm;
    bool ok;
    explicit Script(const std::string& text) {
        LMemReader reader(text.data(), u32(text.size()));
        ok = vm.CompileText(reader);
    }
    std::string Report() const { return vm.ErrorReport().CStr(); }
};

// The value of a body, compiled as a function.
i32 Eval(const std::string& body) {
    Script s("F # (" + body + ");");
    EXPECT_TRUE(s.ok) << body << ": " << s.Report();
    i32 v = -999;
    EXPECT_TRUE(s.vm.Call("F", 0, nullptr, &v)) << body;
    return v;
}

std::string ErrorOf(const std::string& text) {
    Script s(text);
    EXPECT_FALSE(s.ok) << text;
    return s.vm.ErrorName().CStr();
}

TEST(LayoutCompiler, OperatorsAndPrecedence) {
    EXPECT_EQ(Eval("5 - -3"), 8);
    EXPECT_EQ(Eval("- -3"), 3);
    EXPECT_EQ(Eval("- - - 3"), -3);
    EXPECT_EQ(Eval("+7"), 7);
    EXPECT_EQ(Eval("-(2 + 3)"), -5);
    EXPECT_EQ(Eval("2 + 3 * 4"), 14);
    EXPECT_EQ(Eval("(2 + 3) * 4"), 20);
    EXPECT_EQ(Eval("10 - 4 - 3"), 3);
    EXPECT_EQ(Eval("100 / 10 / 5"), 2);
    EXPECT_EQ(Eval("-7 / 2"), -3);
    EXPECT_EQ(Eval("1 + 2 == 3"), 1);
    EXPECT_EQ(Eval("2 < 1 == 0"), 1);
    EXPECT_EQ(Eval("-1 < 1"), 1);
    EXPECT_EQ(Eval("3 <= 3"), 1);
    EXPECT_EQ(Eval("3 >= 4"), 0);
    EXPECT_EQ(Eval("3 > 2 > 0"), 1);
    EXPECT_EQ(Eval("3 != 3"), 0);
    EXPECT_EQ(Eval("1 ^ 2"), 1);
    EXPECT_EQ(Eval("3 ^ 3"), 0);
    EXPECT_EQ(Eval("2 | 0"), 1);
    EXPECT_EQ(Eval("0 | 5"), 5);
    EXPECT_EQ(Eval("0 | 0"), 0);
    EXPECT_EQ(Eval("3 & 4"), 4);
    EXPECT_EQ(Eval("0 & 4"), 0);
    EXPECT_EQ(Eval("1 == 1 & 7"), 7);
    EXPECT_EQ(Eval("0 & 1 | 6"), 6);
    EXPECT_EQ(Eval("!0 + 1"), 2);
    EXPECT_EQ(Eval("!5"), 0);
    EXPECT_EQ(Eval("c = 0; c ? 7"), 0);
    EXPECT_EQ(Eval("c = 2; c ? 7"), 7);
    EXPECT_EQ(Eval("1 ? 7 : 8"), 7);
    EXPECT_EQ(Eval("0 ? 7 : 0 ? 8 : 9"), 9);
    EXPECT_EQ(Eval("0 | 0 ? 4 : 5"), 5);
    EXPECT_EQ(Eval("2147483647 + 1"), INT_MIN);
    EXPECT_EQ(Eval("4294967295"), -1);
    EXPECT_EQ(Eval("65536 * 65536"), 0);
}

TEST(LayoutCompiler, NumbersCommentsAndSkippedBytes) {
    EXPECT_EQ(Eval("12.9"), 12);
    EXPECT_EQ(Eval(".5 + 1"), 1);
    EXPECT_EQ(Eval("7 %{ + 2 }"), 9);
    EXPECT_EQ(Eval("/* c */ 1 + // line\n 2"), 3);
    EXPECT_EQ(Eval("1 /* a **/ + 5 */ + 2"), 3);
    EXPECT_EQ(Eval("1 /* a * / b */ + 2"), 3);
    EXPECT_EQ(Eval("abc = 4; \"ab\" \"c\" + 1"), 5);
    EXPECT_EQ(Eval("\"a\\tb\" = 2; \"a\\tb\""), 2);
    EXPECT_EQ(Eval("4 \xC3\xA9\x01 + 1"), 5);
}

TEST(LayoutCompiler, VariablesAssignmentsAndSequences) {
    EXPECT_EQ(Eval("a = b = 4; a + b"), 8);
    EXPECT_EQ(Eval("a = 10; a += 5; a -= 3; a *= 2; a /= 4; a"), 6);
    EXPECT_EQ(Eval("a = 10; a += 5"), 15);
    EXPECT_EQ(Eval("a = 5; a++ + a"), 11);
    EXPECT_EQ(Eval("a = 5; ++a + a"), 12);
    EXPECT_EQ(Eval("a = 5; a--; --a; a"), 3);
    EXPECT_EQ(Eval("a = 5; a++"), 5);
    EXPECT_EQ(Eval("a = 1; b = 2; a - b"), -1);
    EXPECT_EQ(Eval("a = 3; b = 4; (a * b) - (b / a) + a"), 14);
    EXPECT_EQ(Eval("1; 2;"), 0);
    EXPECT_EQ(Eval("()"), 0);
    EXPECT_EQ(Eval("(1; (2; 3))"), 3);
    EXPECT_EQ(Eval("x = 3; x.foo"), 3);
    EXPECT_EQ(Eval("x = 3; x[5]"), 3);
    EXPECT_EQ(Eval("x = 3; x.foo = 9"), 9);
    EXPECT_EQ(Eval("x = 3; x.foo = 9; x[2] = 8; x.a.b = 1; x"), 3);
    EXPECT_EQ(Eval("x = 3; x[1] += 2"), 5);
    EXPECT_EQ(Eval("x = 3; y = x.m + x[0] * 2; y"), 9);
    EXPECT_EQ(Eval("i = 0; s = 0; @ (i < 5) (s += i; i++); s"), 10);
    EXPECT_EQ(Eval("i = 0; @ (i < 3) i++"), 0);
    EXPECT_EQ(Eval("i = 0; s = 0; @ i < 4 (s = s + i; i = i + 1); s"), 6);
}

TEST(LayoutCompiler, DivisionNeverTraps) {
    EXPECT_EQ(Eval("7 / 0"), 0);
    EXPECT_EQ(Eval("x = 0; 7 / x"), 0);
    EXPECT_EQ(Eval("a = 9; a /= 0; a"), 0);
    EXPECT_EQ(Eval("a = 9; a /= 0"), 0);
    EXPECT_EQ(Eval("m = -2147483647 - 1; m / -1"), INT_MIN);
    EXPECT_EQ(Eval("m = -2147483647 - 1; n = -1; m / n"), INT_MIN);
    EXPECT_EQ(Eval("m = -2147483647 - 1; m /= -1; m"), INT_MIN);
    EXPECT_EQ(Eval("-2147483648 / -1"), INT_MIN);
    EXPECT_EQ(Eval("x = 0; x.a /= 0"), 0);
}

TEST(LayoutCompiler, ErrorsCarryTheirNames) {
    EXPECT_EQ(ErrorOf("a = 1 b = 2"), "Prim");
    EXPECT_EQ(ErrorOf(";"), "Prim");
    EXPECT_EQ(ErrorOf("f # (1; 2"), "EOF");
    EXPECT_EQ(ErrorOf("min(1"), "EOF");
    EXPECT_EQ(ErrorOf("(1 2);"), "Close");
    EXPECT_EQ(ErrorOf("x[1;"), "Close");
    EXPECT_EQ(ErrorOf("min(1 2);"), "ArgList");
    EXPECT_EQ(ErrorOf("abs(1, 2);"), "NumArgs");
    EXPECT_EQ(ErrorOf("min();"), "NumArgs");
    EXPECT_EQ(ErrorOf("foo(1);"), "NoMethod");
    EXPECT_EQ(ErrorOf("sqrt(4);"), "NoMethod") << "a layout built-in only";
    EXPECT_EQ(ErrorOf("3 = 4;"), "NoLvalue");
    EXPECT_EQ(ErrorOf("++3;"), "NoLvalue");
    EXPECT_EQ(ErrorOf("(1 ? a : b) = 2;"), "NoLvalue");
    EXPECT_EQ(ErrorOf("x.;"), "Member");
    EXPECT_EQ(ErrorOf("F # F();"), "NoMethod");
    EXPECT_EQ(ErrorOf("F # (G # F());"), "NoMethod");

    std::string args = "max(";
    for (int i = 0; i < 256; ++i) args += i ? ",1" : "1";
    EXPECT_EQ(ErrorOf(args + ");"), "NumArgs");
    Script ok255(args.substr(0, args.size() - 2) + ");");
    EXPECT_TRUE(ok255.ok);

    // Deep nesting is refused instead of exhausting the stack.
    EXPECT_EQ(ErrorOf(std::string(100000, '(')), "Nesting");
    EXPECT_EQ(ErrorOf(std::string(100000, '-') + "1;"), "Nesting");
    EXPECT_EQ(ErrorOf("x = " + std::string(100000, '$') + "1;"), "Nesting");
}

}  // namespace
