#include "records/CPrefNode.h"

#include <charconv>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "base/TextFormat.h"

// ---------------------------------------------------------------- node

CPrefNode::CPrefNode(CPrefNode* parent, const char* key, bool create) : fParent(parent) {
    if (!parent || (!parent->IsOpen() && parent->fParent)) return;
    fHandle = create && parent->Mode() == 1 ? parent->OpenOrCreateChild(parent->fHandle, key)
                                            : parent->OpenChild(parent->fHandle, key);
}

CPrefNode::~CPrefNode() {
    if (fHandle && fParent) fParent->CloseHandle(fHandle);
}

u32 CPrefNode::Mode() {
    return fParent ? fParent->Mode() : 0;
}

CPrefNode::Handle CPrefNode::OpenOrCreateChild(Handle parent, const char* key) {
    return fParent ? fParent->OpenOrCreateChild(parent, key) : nullptr;
}

CPrefNode::Handle CPrefNode::OpenChild(Handle parent, const char* key) {
    return fParent ? fParent->OpenChild(parent, key) : nullptr;
}

void CPrefNode::CloseHandle(Handle handle) {
    if (fParent) fParent->CloseHandle(handle);
}

void CPrefNode::StoreRemoveValue(Handle handle, const char* key) {
    if (fParent) fParent->StoreRemoveValue(handle, key);
}

bool CPrefNode::StoreGetBytes(Handle handle, const char* key, void* buffer, u32* length) {
    if (fParent) return fParent->StoreGetBytes(handle, key, buffer, length);
    *length = 0;
    return false;
}

bool CPrefNode::StoreGetString(Handle handle, const char* key, LString* out) {
    return fParent && fParent->StoreGetString(handle, key, out);
}

void CPrefNode::StoreSetBytes(Handle handle, const char* key, const void* bytes, u32 length) {
    if (fParent) fParent->StoreSetBytes(handle, key, bytes, length);
}

void CPrefNode::StoreSetString(Handle handle, const char* key, const LString& value) {
    if (fParent) fParent->StoreSetString(handle, key, value);
}

void CPrefNode::RemoveValue(const char* key) {
    if (fHandle) StoreRemoveValue(fHandle, key);
}

bool CPrefNode::GetBytes(const char* key, void* buffer, u32* length) {
    if (fHandle) return StoreGetBytes(fHandle, key, buffer, length);
    *length = 0;
    return false;
}

bool CPrefNode::GetString(const char* key, LString* out) {
    return fHandle && StoreGetString(fHandle, key, out);
}

void CPrefNode::SetBytes(const char* key, const void* bytes, u32 length) {
    if (fHandle) StoreSetBytes(fHandle, key, bytes, length);
}

void CPrefNode::SetString(const char* key, const LString& value) {
    if (fHandle) StoreSetString(fHandle, key, value);
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool EndsLine(char c) {
    return c == 0 || c == '\n' || c == '\r';
}

// Reads one integer word at *p; false when the word is no number.
bool ScanInt(const char*& p, i32* out) {
    const char* s = p;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    if (*s < '0' || *s > '9') return false;
    i64 v = 0;
    for (; *s >= '0' && *s <= '9'; ++s)
        if (v <= i64(INT_MAX) + 1) v = v * 10 + (*s - '0');
    if (negative) v = -v;
    *out = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : i32(v);
    // A fraction is ignored with the rest of its word.
    if (*s == '.')
        while (!IsBlank(*s) && !EndsLine(*s)) ++s;
    p = s;
    return true;
}

// Reads the numeric start of one word at *p (as "%lg" would); false when none.
bool ScanDouble(const char*& p, double* out) {
    const char* s = p;
    const char* word = s;
    while (!IsBlank(*s) && !EndsLine(*s)) ++s;
    const char* first = word;
    if (*first == '+' || *first == '-') ++first;
    const bool digits =
        (*first >= '0' && *first <= '9') || (*first == '.' && first[1] >= '0' && first[1] <= '9');
    if (!digits) return false;
    const std::string text(word, size_t(s - word));
    *out = StrToDouble(text.c_str());
    p = s;
    return true;
}

template <typename T, typename Scan>
i32 ParseList(const LString& text, T* out, u32 max, Scan scan) {
    const char* p = text.CStr();
    u32 count = 0;
    for (;;) {
        if (out && count >= max) break;
        while (IsBlank(*p)) ++p;
        if (EndsLine(*p)) break;
        T v;
        if (!scan(p, &v)) break;
        if (out) out[count] = v;
        ++count;
        // A number glued to a word that follows ends the list.
        if (!IsBlank(*p) && !EndsLine(*p)) break;
    }
    return count > u32(INT_MAX) ? INT_MAX : i32(count);
}

}  // namespace

i32 CPrefNode::GetIntArray(const char* key, i32* out, u32 max) {
    LString text;
    if (!GetString(key, &text)) return -1;
    return ParseList(text, out, max, ScanInt);
}

i32 CPrefNode::GetDoubleArray(const char* key, double* out, u32 max) {
    LString text;
    if (!GetString(key, &text)) return -1;
    return ParseList(text, out, max, ScanDouble);
}

void CPrefNode::SetIntArray(const char* key, const i32* values, u32 n) {
    std::string text;
    for (u32 i = 0; i < n; ++i) {
        text += std::to_string(values[i]);
        text += ' ';
    }
    SetString(key, LString(std::string_view(text)));
}

void CPrefNode::SetDoubleArray(const char* key, const double* values, u32 n) {
    std::string text;
    for (u32 i = 0; i < n; ++i) {
        // "%g" whatever the locale's decimal point.
        char buf[64];
        const std::to_chars_result r =
            std::to_chars(buf, buf + sizeof(buf), values[i], std::chars_format::general, 6);
        text.append(buf, r.ptr);
        text += ' ';
    }
    SetString(key, LString(std::string_view(text)));
}

i32 CPrefNode::GetInt(const char* key, i32 def) {
    i32 v;
    return GetIntArray(key, &v, 1) == 1 ? v : def;
}

void CPrefNode::SetInt(const char* key, i32 value) {
    SetIntArray(key, &value, 1);
}

LString MakeIndexedKey(const char* prefix, u32 n) {
    std::string key = prefix ? prefix : "";
    key += std::to_string(n);
    return LString(std::string_view(key));
}

// ---------------------------------------------------------------- memory store

struct CMemPrefStore::Dict {
    struct Value {
        enum Kind { kText, kData, kDict } kind = kText;
        std::string bytes;
        std::shared_ptr<Dict> dict;
    };
    std::map<std::string, Value> values;
};

namespace {
using DictRef = std::shared_ptr<CMemPrefStore::Dict>;
std::string Key(const char* key) {
    return key ? key : "";
}
}  // namespace

CMemPrefStore::CMemPrefStore(bool writable) : fRoot(new Dict), fWritable(writable) {}

CMemPrefStore::~CMemPrefStore() {
    delete fRoot;
}

// Handles hold a count on their dictionary, so removing a value never leaves one dangling.
CMemPrefStore::Dict* CMemPrefStore::DictOf(Handle handle) const {
    return handle ? static_cast<DictRef*>(handle)->get() : fRoot;
}

CPrefNode::Handle CMemPrefStore::OpenOrCreateChild(Handle parent, const char* key) {
    if (!fWritable) return OpenChild(parent, key);
    Dict::Value& v = DictOf(parent)->values[Key(key)];
    if (v.kind != Dict::Value::kDict) {
        v.kind = Dict::Value::kDict;
        v.bytes.clear();
        v.dict = std::make_shared<Dict>();
    }
    return new DictRef(v.dict);
}

CPrefNode::Handle CMemPrefStore::OpenChild(Handle parent, const char* key) {
    Dict* d = DictOf(parent);
    auto it = d->values.find(Key(key));
    if (it == d->values.end() || it->second.kind != Dict::Value::kDict) return nullptr;
    return new DictRef(it->second.dict);
}

void CMemPrefStore::CloseHandle(Handle handle) {
    delete static_cast<DictRef*>(handle);
}

void CMemPrefStore::StoreRemoveValue(Handle handle, const char* key) {
    if (fWritable) DictOf(handle)->values.erase(Key(key));
}

bool CMemPrefStore::StoreGetBytes(Handle handle, const char* key, void* buffer, u32* length) {
    Dict* d = DictOf(handle);
    auto it = d->values.find(Key(key));
    if (it == d->values.end() || it->second.kind != Dict::Value::kData) {
        *length = 0;
        return false;
    }
    const std::string& b = it->second.bytes;
    const u32 full = b.size() > 0xFFFFFFFFu ? 0xFFFFFFFFu : u32(b.size());
    if (!buffer) {
        *length = full;
        return true;
    }
    const u32 n = *length < full ? *length : full;
    if (n) std::memcpy(buffer, b.data(), n);
    *length = n;
    return true;
}

bool CMemPrefStore::StoreGetString(Handle handle, const char* key, LString* out) {
    Dict* d = DictOf(handle);
    auto it = d->values.find(Key(key));
    if (it == d->values.end() || it->second.kind != Dict::Value::kText) return false;
    *out = LString(std::string_view(it->second.bytes));
    return true;
}

void CMemPrefStore::StoreSetBytes(Handle handle, const char* key, const void* bytes, u32 length) {
    if (!fWritable) return;
    Dict::Value& v = DictOf(handle)->values[Key(key)];
    v.kind = Dict::Value::kData;
    v.dict.reset();
    v.bytes.assign(static_cast<const char*>(bytes), length);
}

void CMemPrefStore::StoreSetString(Handle handle, const char* key, const LString& value) {
    if (!fWritable) return;
    Dict::Value& v = DictOf(handle)->values[Key(key)];
    v.kind = Dict::Value::kText;
    v.dict.reset();
    v.bytes.assign(value.CStr(), value.Length());
}

namespace {
void DumpDict(const CMemPrefStore::Dict& d, u32 indent, std::string& out) {
    static const char kHex[] = "0123456789abcdef";
    for (const auto& [key, v] : d.values) {
        out.append(indent * 2, ' ');
        out += key;
        if (v.kind == CMemPrefStore::Dict::Value::kDict) {
            out += " {\n";
            DumpDict(*v.dict, indent + 1, out);
            out.append(indent * 2, ' ');
            out += "}\n";
        } else if (v.kind == CMemPrefStore::Dict::Value::kData) {
            out += " :";
            for (unsigned char c : v.bytes) {
                out += ' ';
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
            out += '\n';
        } else {
            out += " = " + v.bytes + "\n";
        }
    }
}
}  // namespace

namespace {
void WalkDict(const CMemPrefStore::Dict& d, CMemPrefStore::Visitor& visitor) {
    for (const auto& [key, v] : d.values) {
        if (v.kind == CMemPrefStore::Dict::Value::kDict) {
            visitor.BeginChild(key);
            WalkDict(*v.dict, visitor);
            visitor.EndChild();
        } else if (v.kind == CMemPrefStore::Dict::Value::kData) {
            visitor.Bytes(key, v.bytes);
        } else {
            visitor.Text(key, v.bytes);
        }
    }
}
}  // namespace

void CMemPrefStore::Walk(Visitor& visitor) const {
    WalkDict(*fRoot, visitor);
}

std::string CMemPrefStore::Dump() const {
    std::string out;
    DumpDict(*fRoot, 0, out);
    return out;
}
