// Checks every layout resource in resources/: compiled layouts must compile
// after "STDLAYOUT" item 1 and run their passes; layouts whose source header
// says "dialect: direct" (and "STDLAYOUT" item 0) must use only characters the
// direct dialect reads and call only names that exist. A failure names the
// resource, the item, the line and the character.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TestPanes.h"
#include "base/Resources.h"
#include "framework/layout/LLayoutVM.h"

namespace {

namespace fs = std::filesystem;

struct Layout {
    std::string name;
    bool direct = false;
    std::vector<std::string> items;
};

std::string S(const LString& s) {
    return std::string(s.View());
}

std::vector<Layout> LoadLayouts() {
    std::vector<Layout> out;
    const fs::path dir = fs::path(KEVO_SOURCE_DIR) / "resources";
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".tlyo") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        Layout l;
        l.name = file.stem().string();
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line) && line.rfind("===", 0) != 0) {
            if (line.find("dialect: direct") != std::string::npos) l.direct = true;
        }
        // The items as the program reads them: from the packed resources.
        LResId id{0, l.name.c_str()};
        LStrListRes list(&id, nullptr, kLayoutResType);
        LString item;
        for (u32 i = 0; i < list.Count(); ++i) l.items.push_back(S(list.GetItem(&item, i)));
        out.push_back(std::move(l));
    }
    return out;
}

// "item N line L char C" for a byte offset inside one of the pieces of a text.
struct Piece {
    std::string label;
    std::string text;
};

std::string Locate(const std::vector<Piece>& pieces, size_t offset) {
    size_t start = 0;
    for (const Piece& p : pieces) {
        if (offset < start + p.text.size() || &p == &pieces.back()) {
            const size_t off = std::min(offset - start, p.text.size());
            const std::string before = p.text.substr(0, off);
            const size_t line = 1 + size_t(std::count(before.begin(), before.end(), '\n'));
            const size_t lineStart =
                before.rfind('\n') == std::string::npos ? 0 : before.rfind('\n') + 1;
            return p.label + " line " + std::to_string(line) + " char " +
                   std::to_string(off - lineStart + 1);
        }
        start += p.text.size();
    }
    return "?";
}

// Offset of the byte the compiler read last when it stopped.
size_t ErrorOffset(const std::string& text, u32 line, u32 column) {
    size_t pos = 0;
    for (u32 l = 0; l < line && pos < text.size(); ++l) {
        const size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) return text.size();
        pos = nl + 1;
    }
    return column ? pos + column - 1 : (pos ? pos - 1 : 0);
}

std::string CheckCompiled(const Layout& l, const std::string& std1) {
    if (l.items.size() < 2)
        return l.name + ": a layout needs at least 2 items, has " + std::to_string(l.items.size());
    const std::string i0 = l.items[0], i1 = l.items[1], i2 = l.items.size() > 2 ? l.items[2] : "";
    const std::vector<Piece> pieces = {
        {"STDLAYOUT item 1", std1},       {l.name + " item 0", i0},
        {l.name + " PREF", "PREF#(\n"},   {l.name + " item 1", i1},
        {l.name + " item 1 end", ");\n"}, {l.name + " LAYO", "LAYO#(\n"},
        {l.name + " item 2", i2},         {l.name + " item 2 end", ");\n"},
    };
    std::string text;
    for (const Piece& p : pieces) text += p.text;
    TestContainer box;
    for (int i = 0; i < 8; ++i) new TestPane(&box, &box);
    LLayoutVM vm(&box.fChildren);
    if (!vm.CompileLayout(LString(i0.c_str()), LString(i1.c_str()), LString(i2.c_str()))) {
        return l.name + ": " + S(vm.ErrorName()) + " at " +
               Locate(pieces, ErrorOffset(text, vm.ErrorLine(), vm.ErrorColumn()));
    }
    if (!vm.RunPref(nullptr)) return l.name + ": PREF did not run to its end";
    vm.SetResultRect(LRect(0, 0, 400, 300));
    if (!vm.RunLayout(nullptr)) return l.name + ": LAYO did not run to its end";
    return "";
}

const std::set<std::string> kDirectBuiltins = {"sqrt", "min", "max", "sys", "pp", "shown", "wp",
                                               "hp",   "w",   "h",   "l",   "t",  "r",     "b"};

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Function names defined in a direct text ("name #").
void CollectDefinitions(const std::string& text, std::set<std::string>* out) {
    size_t i = 0;
    bool inBody = false;
    while (i < text.size()) {
        if (text[i] == '#') {
            inBody = !inBody;
            ++i;
            continue;
        }
        if (!inBody && IsLetter(text[i])) {
            size_t s = i;
            while (i < text.size() && (IsLetter(text[i]) || IsDigit(text[i]))) ++i;
            size_t j = i;
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
            if (j < text.size() && text[j] == '#') out->insert(text.substr(s, i - s));
            continue;
        }
        ++i;
    }
}

// Problems of one direct text: characters the dialect skips, unknown calls,
// unbalanced parentheses, an unclosed body.
std::string CheckDirectText(const std::string& label, const std::string& text,
                            const std::set<std::string>& funcs) {
    const std::vector<Piece> where = {{label, text}};
    int depth = 0;
    bool inBody = false;
    size_t bodyStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '#') {
            if (inBody && depth != 0)
                return "unbalanced parentheses in the body ending at " + Locate(where, i);
            inBody = !inBody;
            bodyStart = i;
            depth = 0;
            continue;
        }
        if (IsLetter(c)) {
            size_t s = i;
            while (i + 1 < text.size() && (IsLetter(text[i + 1]) || IsDigit(text[i + 1]))) ++i;
            const std::string name = text.substr(s, i + 1 - s);
            if (i + 1 < text.size() && text[i + 1] == '(' && !funcs.count(name) &&
                !kDirectBuiltins.count(name))
                return "call of unknown \"" + name + "\" at " + Locate(where, s);
            continue;
        }
        // A line break ends a statement: one broken over lines leaves its call
        // open (the rest becomes a statement of its own).
        if (c == '\n' && depth != 0)
            return "a line break inside parentheses at " + Locate(where, i);
        if (IsDigit(c) || c == ' ' || c == '\t' || c == '\n') continue;
        if (c == '(') {
            ++depth;
            continue;
        }
        if (c == ')') {
            if (--depth < 0) return "unmatched \")\" at " + Locate(where, i);
            continue;
        }
        if (std::string("%*+,-/;=").find(c) != std::string::npos) continue;
        return std::string("character '") + c + "' is skipped by the direct dialect at " +
               Locate(where, i);
    }
    if (inBody) return "unclosed function body from " + Locate(where, bodyStart);
    if (depth != 0) return "unbalanced parentheses at the end of " + label;
    return "";
}

class TlyoResources : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static LResFile app(AppResFileRef());
        SetDefaultResChain(&app);
    }
};

TEST_F(TlyoResources, EveryLayoutCompilesOrReadsCleanly) {
    const std::vector<Layout> layouts = LoadLayouts();
    ASSERT_FALSE(layouts.empty());
    const std::string std0 = S(GetStdLayoutItem(0));
    const std::string std1 = S(GetStdLayoutItem(1));
    ASSERT_FALSE(std0.empty()) << "STDLAYOUT is not among the packed resources";
    std::set<std::string> stdFuncs;
    CollectDefinitions(std0, &stdFuncs);

    int checked = 0;
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        if (l.name == kStdLayoutName) {
            EXPECT_EQ(l.items.size(), 2u);
            EXPECT_EQ(CheckDirectText("STDLAYOUT item 0", std0, stdFuncs), "");
            EXPECT_EQ(CheckCompiled(Layout{"(empty layout)", false, {"", "", ""}}, std1), "");
        } else if (l.direct) {
            std::set<std::string> funcs = stdFuncs;
            for (const std::string& item : l.items) CollectDefinitions(item, &funcs);
            EXPECT_GE(l.items.size(), 2u) << l.name << ": a layout needs at least 2 items";
            for (size_t i = 0; i < l.items.size(); ++i) {
                EXPECT_EQ(CheckDirectText(l.name + " item " + std::to_string(i), l.items[i], funcs),
                          "");
            }
        } else {
            EXPECT_EQ(CheckCompiled(l, std1), "");
        }
        ++checked;
    }
    EXPECT_GE(checked, 1);
}

// The standard dialogs find their texts and, but for the message dialog, their layouts.
TEST_F(TlyoResources, StandardDialogsHaveTextsAndLayouts) {
    const struct {
        const char* name;
        u32 texts;
        bool layout;
    } dialogs[] = {{"CCSETNDLG", 4, true},
                   {"ABOUT", 7, true},
                   {"CSAVECHANGESDIALOG", 5, true},
                   {"CSIMPLEPROGRESSDIALOG", 2, true},
                   {"CSIMPLEMESSAGEDIALOG", 3, false}};
    for (const auto& d : dialogs) {
        LResId id{0, d.name};
        EXPECT_EQ(LStrListRes(&id, nullptr, FourCC("CST#")).Count(), d.texts) << d.name;
        EXPECT_EQ(LStrListRes(&id, nullptr, kLayoutResType).Count(), d.layout ? 3u : 0u) << d.name;
    }
}

}  // namespace
