#pragma once
// Character readers (one byte at a time with one step of push-back) and the
// text scanner that reads words, fields, numbers and lines from any of them.
// White space and blanks are the C locale's classes, whatever the process locale.

#include "base/CStrm.h"
#include "base/LString.h"
#include "base/LTextSink.h"

class LCharReader {
public:
    virtual ~LCharReader() = default;
    // False at the end of the input.
    virtual bool GetChar(u8* out) = 0;
    // Steps back one byte; callers unget only a byte they just got.
    virtual void Unget() = 0;
    virtual u32 ReadBlock(void* buffer, u32 n) = 0;
};

// The ReadBlock of readers that only have GetChar.
u32 ReaderReadBlockByChars(LCharReader& reader, void* buffer, u32 n);

// Reads a byte range; a zero byte also ends the text (for GetChar, not ReadBlock).
class LMemReader : public LCharReader {
public:
    LMemReader() { Init(nullptr, 0); }
    LMemReader(const void* buffer, u32 length) { Init(buffer, length); }
    void Init(const void* buffer, u32 length);

    bool GetChar(u8* out) override;
    void Unget() override;
    u32 ReadBlock(void* buffer, u32 n) override;

protected:
    const u8* fStart;
    const u8* fEnd;
    const u8* fCur;
};

// Reads the characters of a string it keeps alive.
class LStrReader : public LMemReader {
public:
    explicit LStrReader(const LString& text);

private:
    LString fText;
};

// Reads text from a stream (not owned), skipping a UTF-8 byte-order mark at its start.
class CUtf8TextReader : public LCharReader {
public:
    explicit CUtf8TextReader(CStrm* source);

    bool GetChar(u8* out) override;
    void Unget() override;
    u32 ReadBlock(void* buffer, u32 n) override;

private:
    CStrm* fSource;
};

// Copies everything the reader delivers into the sink.
void CopyStream(LCharReader& source, LTextSink& target);

// Scanner. Each leaves the reader on the first character it did not take.
void ReaderSkipSpace(LCharReader& reader);
// Skips white space other than CR and LF.
void ReaderSkipBlanks(LCharReader& reader);
// Optional signs, then decimal digits; saturates at the i32 range. True when a
// digit was the last character taken; *out is always written.
bool ReaderReadInt(LCharReader& reader, i32* out);
bool ReaderReadIntInLine(LCharReader& reader, i32* out);
// Consumes the rest of the line and one line break (LF, CR, CR LF, LF CR).
bool ReaderSkipLine(LCharReader& reader);
bool ReaderReadWord(LCharReader& reader, LTextSink& sink);
// Up to the delimiter or a line break, without leading and trailing blanks.
bool ReaderReadField(LCharReader& reader, LTextSink& sink, u32 delimiter, bool consumeDelimiter);
bool ReaderReadLineText(LCharReader& reader, LTextSink& sink);
void ReaderReadNumberText(LCharReader& reader, LTextSink& sink);
// The next non-blank character, or 0 at the end.
u8 ReaderReadNonBlank(LCharReader& reader);
bool ReaderReadLine(LCharReader& reader, LString* out);

// Line breaks.
void WriteLinesWithEol(const char* text, LTextSink& sink, const char* eol);
// Every line break replaced by eol; the given string is shared when nothing changes.
LString& NormalizeLineBreaks(LString* out, const LString& text, const char* eol);
LString& ToLf(LString* out, const LString& text);
