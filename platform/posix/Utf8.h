#pragma once
// UTF-8 and Latin-1, the narrow encodings this platform speaks.

#include "platform/Platform.h"

// Appends the UTF-16 form of UTF-8 bytes; every ill-formed sequence becomes
// one U+FFFD, so no input can stop a run.
void AppendUtf16FromUtf8(Text& out, const char* bytes, size_t size);
Text TextFromLatin1(const Bytes& bytes);
// Characters outside Latin-1 become '?'.
Bytes Latin1FromText(const Text& text);
