#pragma once
// Resource archives made in memory for tests: string lists of any type, opened
// as a resource file that a test puts in front of the program's own.

#include <string>
#include <vector>

#include "base/Resources.h"

struct TestStrList {
    u32 type;
    std::string name;
    std::vector<std::string> items;
};

inline u32 OpenTestArchive(const std::vector<TestStrList>& lists) {
    auto put32 = [](std::vector<u8>& out, u32 v) {
        for (int s = 24; s >= 0; s -= 8) out.push_back(u8(v >> s));
    };
    std::vector<u8> a{'K', 'V', 'R', 'A'};
    put32(a, u32(lists.size()));
    for (const TestStrList& l : lists) {
        std::vector<u8> body{u8(l.items.size() >> 8), u8(l.items.size())};
        for (const std::string& s : l.items) {
            body.insert(body.end(), s.begin(), s.end());
            body.push_back(0);
        }
        put32(a, l.type);
        put32(a, 0);
        a.push_back(u8(l.name.size() >> 8));
        a.push_back(u8(l.name.size()));
        a.insert(a.end(), l.name.begin(), l.name.end());
        put32(a, u32(body.size()));
        a.insert(a.end(), body.begin(), body.end());
    }
    return OpenResArchive(a.data(), u32(a.size()));
}
