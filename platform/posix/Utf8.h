#pragma once
// UTF-8 and Latin-1, the narrow encodings this platform speaks.

#include "platform/Platform.h"

// Appends the UTF-16 form of UTF-8 bytes; every ill-formed sequence becomes
// one U+FFFD, so no input can stop a run. Unless `final`, a sequence cut by the
// end is left for the next piece; gives the bytes used.
size_t AppendUtf16FromUtf8(Text& out, const char* bytes, size_t size, bool final);

// Decodes UTF-8 arriving in pieces (file blocks, INCR chunks), so that a
// large text is never held as bytes and as text at once.
class Utf8Decoder {
public:
    void Feed(Text& out, const char* bytes, size_t size);
    void Finish(Text& out);

private:
    Bytes pending_; // a sequence cut by the last piece's end
};

// Appends the UTF-8 form of UTF-16 units; a lone surrogate becomes U+FFFD.
// Unless `final`, a high surrogate at the end is left for the next piece;
// gives the units used.
size_t AppendUtf8FromUtf16(Bytes& out, const char16_t* text, size_t size, bool final);
// Characters outside Latin-1 become '?'.
Bytes Latin1FromText(const Text& text);
