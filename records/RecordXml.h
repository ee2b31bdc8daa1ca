#pragma once
// Records as XML text, for the bodies of device service requests. Compact: one
// element per line, values equal to their schema default left out. Every output
// is well-formed XML 1.0: what XML cannot carry becomes U+FFFD.

#include "base/CStrm.h"
#include "base/LString.h"
#include "base/LTextSink.h"
#include "records/CRecord.h"

// Trees nested deeper than this are refused.
constexpr u32 kXmlMaxDepth = 64;

// Truncates the stream at its position, then writes the declaration and the root
// element (null: the empty element YUND_UDNL). False, with nothing written, when
// the tree nests too deep; stream errors are the stream's.
bool WriteRecordXml(CStrm* strm, const CRecord* record);

// The token writer over a text sink.
class CXmlWriter {
public:
    explicit CXmlWriter(LTextSink& sink) : fSink(sink) {}

    void OpenTag(const char* name);
    // Blank, name, "=", the value quoted and escaped.
    void Attribute(const char* name, const char* value, u32 length);
    void CloseStartTag();
    void EndEmpty();
    void EndTag(const char* name);
    void LineBreak();
    // Text that must not hold "]]>" (the caller makes sure), as a CDATA section.
    void CData(const char* text, u32 length);

    LTextSink& Sink() { return fSink; }

private:
    LTextSink& fSink;
    bool fBlankBefore = false;
};

// One element being written; its start tag appears when first needed.
class CXmlScope {
public:
    CXmlScope(CXmlWriter& writer, CXmlScope* enclosing, const LString& name)
        : fWriter(writer), fEnclosing(enclosing), fName(name) {}
    // Writes "/>" or the end tag, and a line break; nothing when never started.
    ~CXmlScope() { Close(); }
    CXmlScope(const CXmlScope&) = delete;
    CXmlScope& operator=(const CXmlScope&) = delete;

    // Writes the start tag unless written, closing the enclosing start tags first.
    void OpenStart();
    // Ends the start tag with ">" and a line break (once).
    void CloseStart();
    void Close();

    const LString& Name() const { return fName; }
    CXmlWriter& Writer() { return fWriter; }

private:
    CXmlWriter& fWriter;
    CXmlScope* fEnclosing;
    LString fName;
    bool fStarted = false;
    bool fClosedStart = false;
    bool fDone = false;
};

// Appends text as XML character data: attribute values escape '"', '<', '&', tab,
// LF and CR; everything XML 1.0 cannot hold (other control characters, U+FFFE,
// U+FFFF, malformed UTF-8) becomes U+FFFD.
void XmlAppendText(LTextSink& sink, const char* text, u32 length, bool attribute);
