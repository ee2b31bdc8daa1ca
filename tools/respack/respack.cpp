// respack OUTPUT.cpp SYMBOL SOURCE...
// Packs resource sources (see resources/README.md) into one archive and writes it
// as a C++ byte array named SYMBOL (with SYMBOL + "Size"). A malformed source is
// reported as file:line and nothing is written.
//
// Archive (big-endian): "KVRA", u32 count, then per resource: u32 type, u32 number,
// u16 name length, name bytes, u32 data length, data bytes.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Resource {
    uint32_t type = 0;
    uint32_t number = 0;
    std::string name;
    std::string data;
};

struct Failure {
    std::string where;
    std::string what;
};

uint32_t Code(const char* s) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint32_t(uint8_t(s[3]));
}

const std::map<std::string, uint32_t> kKinds = {
    {"tlyo", Code("TLYO")}, {"cst", Code("CST#")}, {"tmnu", Code("TMNU")},
    {"tmnb", Code("TMNB")}, {"png", Code("TPNG")}, {"raw", Code("TRAW")},
};

bool IsTextKind(const std::string& kind) {
    return kind != "png" && kind != "raw";
}

// Length of the valid UTF-8 character at s[i], or 0.
size_t Utf8Length(const std::string& s, size_t i) {
    uint8_t c = uint8_t(s[i]);
    size_t n;
    uint32_t cp;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else
        return 0;
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; k++) {
        uint8_t d = uint8_t(s[i + k]);
        if ((d & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (d & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

// A marker line: "===", blanks, the item's index, then optionally a blank and a comment.
bool IsMarker(const std::string& line) {
    return line.compare(0, 3, "===") == 0;
}

bool ParseMarker(const std::string& line, unsigned long* index) {
    size_t i = 3;
    if (i >= line.size() || (line[i] != ' ' && line[i] != '\t')) return false;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
    size_t start = i;
    unsigned long v = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9' && i - start < 6)
        v = v * 10 + unsigned(line[i++] - '0');
    if (i == start || (i < line.size() && line[i] != ' ' && line[i] != '\t')) return false;
    *index = v;
    return true;
}

// Items of a string-list source, or a failure with its line.
bool ParseStringList(const std::string& file, const std::string& text,
                     std::vector<std::string>* items, Failure* fail) {
    std::vector<std::vector<std::string>> lines;
    size_t pos = 0;
    unsigned long lineNo = 0;
    auto at = [&](unsigned long n) { return file + ":" + std::to_string(n); };
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        lineNo++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (size_t i = 0; i < line.size();) {
            if (line[i] == '\0') return *fail = {at(lineNo), "zero byte"}, false;
            if (line[i] == '\r')
                return *fail = {at(lineNo), "carriage return inside a line"}, false;
            size_t n = Utf8Length(line, i);
            if (n == 0) return *fail = {at(lineNo), "invalid UTF-8"}, false;
            i += n;
        }
        if (IsMarker(line)) {
            unsigned long index;
            if (!ParseMarker(line, &index))
                return *fail = {at(lineNo), "marker needs an item number: === N"}, false;
            if (index != lines.size())
                return *fail = {at(lineNo), "item number " + std::to_string(index) + ", expected " +
                                                std::to_string(lines.size())},
                       false;
            if (lines.size() == 0xFFFF) return *fail = {at(lineNo), "more than 65535 items"}, false;
            lines.emplace_back();
            continue;
        }
        if (lines.empty()) {
            if (line.empty() || line[0] == '#') continue;
            return *fail = {at(lineNo), "text before the first marker (=== 0)"}, false;
        }
        // "\===" writes a line that starts with "===", "\\===" one that starts with "\===".
        size_t bs = line.find_first_not_of('\\');
        if (bs != std::string::npos && bs > 0 && line.compare(bs, 3, "===") == 0) line.erase(0, 1);
        lines.back().push_back(line);
    }
    for (const auto& item : lines) {
        std::string s;
        for (size_t i = 0; i < item.size(); i++) {
            if (i) s += '\n';
            s += item[i];
        }
        items->push_back(s);
    }
    return true;
}

void PutU16(std::string* out, uint32_t v) {
    out->push_back(char(v >> 8));
    out->push_back(char(v));
}

void PutU32(std::string* out, uint32_t v) {
    PutU16(out, v >> 16);
    PutU16(out, v & 0xFFFF);
}

bool ReadSource(const std::string& path, Resource* res, Failure* fail) {
    std::string base = path.substr(path.find_last_of('/') + 1);
    size_t dot = base.rfind('.');
    std::string kind = dot == std::string::npos ? "" : base.substr(dot + 1);
    std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    auto k = kKinds.find(kind);
    if (k == kKinds.end()) return *fail = {path + ":1", "unknown kind ." + kind}, false;
    if (stem.empty() || stem.size() > 255)
        return *fail = {path + ":1", "name must be 1 to 255 bytes"}, false;
    for (size_t i = 0; i < stem.size();) {
        size_t n = Utf8Length(stem, i);
        if (n == 0 || uint8_t(stem[i]) < 32)
            return *fail = {path + ":1", "name is not printable UTF-8"}, false;
        i += n;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return *fail = {path + ":1", "cannot be read"}, false;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    res->type = k->second;
    if (stem.find_first_not_of("0123456789") == std::string::npos && stem.size() <= 9) {
        res->number = uint32_t(std::stoul(stem));
    } else {
        res->name = stem;
    }
    if (!IsTextKind(kind)) {
        if (kind == "png" && text.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
            return *fail = {path + ":1", "not a PNG file"}, false;
        res->data = text;
        return true;
    }
    std::vector<std::string> items;
    if (!ParseStringList(path, text, &items, fail)) return false;
    PutU16(&res->data, uint32_t(items.size()));
    for (const auto& item : items) {
        res->data += item;
        res->data.push_back('\0');
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: respack OUTPUT.cpp SYMBOL SOURCE...\n");
        return 2;
    }
    std::string output = argv[1], symbol = argv[2];
    std::map<std::tuple<uint32_t, uint32_t, std::string>, Resource> all;
    for (int i = 3; i < argc; i++) {
        Resource res;
        Failure fail;
        if (!ReadSource(argv[i], &res, &fail)) {
            std::fprintf(stderr, "%s: error: %s\n", fail.where.c_str(), fail.what.c_str());
            return 1;
        }
        auto key = std::make_tuple(res.type, res.number, res.name);
        if (all.count(key)) {
            std::fprintf(stderr, "%s:1: error: a resource of this kind and name exists already\n",
                         argv[i]);
            return 1;
        }
        if (res.data.size() > 0xFFFFFFF0u) {
            std::fprintf(stderr, "%s:1: error: too large\n", argv[i]);
            return 1;
        }
        all[key] = std::move(res);
    }
    std::string archive = "KVRA";
    PutU32(&archive, uint32_t(all.size()));
    for (const auto& [key, res] : all) {
        PutU32(&archive, res.type);
        PutU32(&archive, res.number);
        PutU16(&archive, uint32_t(res.name.size()));
        archive += res.name;
        PutU32(&archive, uint32_t(res.data.size()));
        archive += res.data;
    }
    std::ostringstream cpp;
    cpp << "// Generated by respack from resources/: do not edit.\n#include \"base/Types.h\"\n"
        << "extern const u8 " << symbol << "[];\nextern const u32 " << symbol << "Size;\n"
        << "alignas(8) const u8 " << symbol << "[] = {";
    for (size_t i = 0; i < archive.size(); i++) {
        if (i % 24 == 0) cpp << "\n";
        cpp << unsigned(uint8_t(archive[i])) << ",";
    }
    cpp << "\n};\nconst u32 " << symbol << "Size = " << archive.size() << "u;\n";
    std::string tmp = output + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << cpp.str();
        if (!out.flush()) {
            std::fprintf(stderr, "%s: error: cannot be written\n", tmp.c_str());
            return 1;
        }
    }
    if (std::rename(tmp.c_str(), output.c_str()) != 0) {
        std::fprintf(stderr, "%s: error: cannot be written\n", output.c_str());
        return 1;
    }
    return 0;
}
