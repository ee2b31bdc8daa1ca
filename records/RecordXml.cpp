#include "records/RecordXml.h"

#include <cstdio>
#include <string>
#include <vector>

#include "base/CharReader.h"
#include "base/TextFormat.h"

// ---------------------------------------------------------------- text

namespace {

// Code point of the well-formed UTF-8 sequence at p and its length; 0 when malformed
// (overlong forms, surrogates, values past U+10FFFF, truncated sequences).
u32 DecodeUtf8(const u8* p, const u8* end, u32* cp) {
    const u8 b0 = p[0];
    if (b0 < 0x80) {
        *cp = b0;
        return 1;
    }
    u32 n, value, min;
    if (b0 >= 0xC2 && b0 < 0xE0) {
        n = 2, value = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 < 0xF0) {
        n = 3, value = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 < 0xF5) {
        n = 4, value = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (u64(end - p) < n) return 0;
    for (u32 i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *cp = value;
    return n;
}

const char kReplacement[] = "\xEF\xBF\xBD";

bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

void XmlAppendText(LTextSink& sink, const char* text, u32 length, bool attribute) {
    const u8* p = reinterpret_cast<const u8*>(text);
    const u8* end = p + length;
    const u8* run = p;  // bytes that go out unchanged
    auto flush = [&](const u8* upTo) {
        if (upTo > run) sink.Write(run, u32(upTo - run));
    };
    while (p < end) {
        u32 cp = 0;
        const u32 n = DecodeUtf8(p, end, &cp);
        const char* replace = nullptr;
        char ref[8];
        if (n == 0) {
            replace = kReplacement;
        } else if (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') {
            replace = kReplacement;
        } else if (cp == 0xFFFE || cp == 0xFFFF) {
            replace = kReplacement;
        } else if (attribute) {
            if (cp == '"')
                replace = "&quot;";
            else if (cp == '<')
                replace = "&lt;";
            else if (cp == '&')
                replace = "&amp;";
            else if (cp < 0x20) {
                // Tab, LF and CR as references, so that readers keep them.
                std::snprintf(ref, sizeof(ref), "&#%u;", unsigned(cp));
                replace = ref;
            }
        } else if (cp == '\r') {
            replace = "\n";
        }
        if (replace) {
            flush(p);
            sink.Put(replace);
            p += n ? n : 1;
            run = p;
        } else {
            p += n;
        }
    }
    flush(p);
}

// ---------------------------------------------------------------- writer

void CXmlWriter::OpenTag(const char* name) {
    fSink.PutChar('<');
    fSink.Put(name);
    fBlankBefore = true;
}

void CXmlWriter::Attribute(const char* name, const char* value, u32 length) {
    if (fBlankBefore) fSink.PutChar(' ');
    fSink.Put(name);
    fSink.Put("=\"");
    XmlAppendText(fSink, value, length, true);
    fSink.PutChar('"');
    fBlankBefore = true;
}

void CXmlWriter::CloseStartTag() {
    fSink.PutChar('>');
    fBlankBefore = false;
}

void CXmlWriter::EndEmpty() {
    fSink.Put("/>");
    fBlankBefore = false;
}

void CXmlWriter::EndTag(const char* name) {
    fSink.Put("</");
    fSink.Put(name);
    fSink.PutChar('>');
    fBlankBefore = false;
}

void CXmlWriter::LineBreak() {
    fSink.PutChar('\n');
}

void CXmlWriter::CData(const char* text, u32 length) {
    fSink.Put("<![CDATA[");
    XmlAppendText(fSink, text, length, false);
    fSink.Put("]]>");
}

void CXmlScope::OpenStart() {
    if (fStarted) return;
    if (fEnclosing) {
        fEnclosing->OpenStart();
        fEnclosing->CloseStart();
    }
    fWriter.OpenTag(fName.CStr());
    fStarted = true;
}

void CXmlScope::CloseStart() {
    if (!fStarted || fClosedStart) return;
    fWriter.CloseStartTag();
    fWriter.LineBreak();
    fClosedStart = true;
}

void CXmlScope::Close() {
    if (fDone) return;
    fDone = true;
    if (!fStarted) return;
    if (fClosedStart)
        fWriter.EndTag(fName.CStr());
    else
        fWriter.EndEmpty();
    fWriter.LineBreak();
}

// ---------------------------------------------------------------- records

namespace {

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Codes padded with blanks or holding other characters still give XML names.
LString XmlName(std::string raw) {
    while (!raw.empty() && raw.back() == ' ') raw.pop_back();
    for (char& c : raw)
        if (!IsNameChar(c)) c = '_';
    if (raw.empty() || !IsNameStart(raw[0])) raw.insert(raw.begin(), '_');
    return LString(std::string_view(raw));
}

std::string CodeText(u32 code) {
    LString s;
    OSTypeToString(&s, code);
    return std::string(s.View());
}

LString RecordName(const CRecord* r) {
    return XmlName(CodeText(r->Family()) + "_" + CodeText(r->Kind()));
}

LString FieldName(const LString& recordName, u32 tag) {
    return XmlName(std::string(recordName.View()) + "_" + CodeText(tag));
}

bool DepthWithin(const CRecord* r, u32 limit) {
    if (!r) return true;
    if (limit == 0) return false;
    for (u32 i = 0; i < r->FieldCount(); ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = r->Desc(f);
        if (!d.IsTagged()) continue;
        if (d.type == kRecChild) {
            if (!DepthWithin(r->GetChild(f), limit - 1)) return false;
        } else if (d.type == kRecList) {
            for (u32 k = 0; k < r->GetListCount(f); ++k)
                if (!DepthWithin(r->GetListItem(f, k), limit - 1)) return false;
        }
    }
    return true;
}

LString Lf(const LString& s) {
    LString out;
    NormalizeLineBreaks(&out, s, "\n");
    return out;
}

bool IsTextBlock(const LString& s) {
    if (s.Length() <= 32) return false;
    const std::string_view v = s.View();
    return (v.find('\r') != v.npos || v.find('\n') != v.npos) && v.find("]]>") == v.npos;
}

// The value of an array attribute; false when the array is empty.
bool ArrayText(const CRecord* r, u8 f, std::string* out) {
    const RecFieldDesc& d = r->Desc(f);
    const u32 n = r->GetArrayCount(f);
    if (!n) return false;
    const void* data = r->GetArrayData(f);
    LString s;
    for (u32 i = 0; i < n; ++i) {
        switch (d.elemType) {
            case kRecI32:
                if (i) *out += ' ';
                *out += NumToStr(&s, static_cast<const i32*>(data)[i]).View();
                break;
            case kRecU32:
                if (i) *out += ' ';
                *out += ULongToStr(&s, static_cast<const u32*>(data)[i]).View();
                break;
            case kRecU8:
                *out += HexToStr(&s, static_cast<const u8*>(data)[i], false, false, 2).View();
                break;
            case kRecF32:
                if (i) *out += ' ';
                *out += FloatToStr(&s, d.digits, double(static_cast<const f32*>(data)[i])).View();
                break;
            case kRecString: {
                if (i) *out += ' ';
                const LString& item = static_cast<const LString*>(data)[i];
                if (item.IsEmpty()) {
                    *out += "''";
                    break;
                }
                const std::string v(Lf(item).View());
                bool quote = false;
                for (char c : v) quote = quote || IsXmlSpace(c) || c == '"';
                if (!quote) {
                    *out += v;
                    break;
                }
                *out += '"';
                for (char c : v) {
                    if (c == '"') *out += '"';
                    *out += c;
                }
                *out += '"';
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

// The attribute text of a scalar or array field; false when it is not written.
bool ScalarText(const CRecord* r, u8 f, std::string* out) {
    const RecFieldDesc& d = r->Desc(f);
    LString s;
    switch (d.type) {
        case kRecI32:
            if (r->GetI32(f) == d.def.i32Value) return false;
            *out = NumToStr(&s, r->GetI32(f)).View();
            return true;
        case kRecU32:
            if (r->GetU32(f) == d.def.u32Value) return false;
            *out = ULongToStr(&s, r->GetU32(f)).View();
            return true;
        case kRecU8:
            if (r->GetU8(f) == d.def.u8Value) return false;
            *out = ULongToStr(&s, r->GetU8(f)).View();
            return true;
        case kRecF32:
            if (r->GetF32(f) == d.def.f32Value) return false;
            *out = FloatToStr(&s, d.digits, double(r->GetF32(f))).View();
            return true;
        case kRecString:
            if (StrEqual(r->GetString(f).CStr(), d.def.text)) return false;
            *out = Lf(r->GetString(f)).View();
            return true;
        case kRecArray:
            return ArrayText(r, f, out);
        default:
            return false;
    }
}

void WriteElement(CXmlWriter& w, CXmlScope* parent, const CRecord* r, bool forced) {
    if (!r) {
        CXmlScope s(w, parent, LString("YUND_UDNL"));
        s.OpenStart();
        return;
    }
    CXmlScope s(w, parent, RecordName(r));
    if (forced) s.OpenStart();
    const u32 n = r->FieldCount();
    u32 first = 0;
    for (; first < n; ++first) {
        const RecFieldDesc& d = r->Desc(u8(first));
        if (d.IsTagged() && (d.type == kRecChild || d.type == kRecList)) break;
    }
    // Attributes. A name written twice would not be XML.
    std::vector<LString> names;
    std::vector<u8> blocks;
    for (u32 i = 0; i < first; ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = r->Desc(f);
        if (!d.IsTagged() || d.type > kRecArray) continue;
        if (d.type == kRecString && IsTextBlock(r->GetString(f)) &&
            !StrEqual(r->GetString(f).CStr(), d.def.text)) {
            blocks.push_back(f);
            continue;
        }
        std::string value;
        if (!ScalarText(r, f, &value)) continue;
        LString name = XmlName(CodeText(d.tag));
        bool seen = false;
        for (const LString& other : names) seen = seen || other == name;
        if (seen) continue;
        names.push_back(name);
        s.OpenStart();
        w.Attribute(name.CStr(), value.data(), u32(value.size()));
    }
    // Long multi-line strings.
    for (u8 f : blocks) {
        s.OpenStart();
        s.CloseStart();
        const LString name = FieldName(s.Name(), r->Desc(f).tag);
        const LString text = Lf(r->GetString(f));
        w.OpenTag(name.CStr());
        w.CloseStartTag();
        w.CData(text.CStr(), text.Length());
        w.EndTag(name.CStr());
        w.LineBreak();
    }
    // Children and lists.
    for (u32 i = first; i < n; ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = r->Desc(f);
        if (!d.IsTagged()) continue;
        if (d.type == kRecChild) {
            const CRecord* c = r->GetChild(f);
            if (!c) continue;
            CXmlScope field(w, &s, FieldName(s.Name(), d.tag));
            WriteElement(w, &field, c, d.IsOptional());
        } else if (d.type == kRecList && r->GetListCount(f)) {
            CXmlScope field(w, &s, FieldName(s.Name(), d.tag));
            for (u32 k = 0; k < r->GetListCount(f); ++k)
                WriteElement(w, &field, r->GetListItem(f, k), true);
        }
    }
}

}  // namespace

bool WriteRecordXml(CStrm* strm, const CRecord* record) {
    if (!DepthWithin(record, kXmlMaxDepth)) return false;
    LTextStream text;
    text.Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    CXmlWriter w(text);
    WriteElement(w, nullptr, record, true);
    strm->SetSize();
    if (text.Error()) {
        strm->SetError(CStrm::kErrWrite);
        return true;
    }
    strm->Write(text.CStr(), text.Length());
    return true;
}
