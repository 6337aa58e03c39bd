#include "platform/posix/Utf8.h"
#include "platform/posix/HugePages.h"

#include <algorithm>

namespace {

constexpr char16_t Replacement = 0xFFFD;

void AppendCodePoint(Text& out, char32_t c)
{
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

void AppendUtf8(Bytes& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

size_t AppendUtf16FromUtf8(Text& out, const char* bytes, size_t size, bool final)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    size_t i = 0;
    while (i < size) {
        const unsigned char lead = s[i];
        if (lead < 0x80) {
            // Most text is ASCII: widen the whole run in one simple loop.
            size_t end = i + 1;
            while (end < size && s[end] < 0x80)
                ++end;
            const size_t at = out.size();
            out.resize(at + (end - i));
            char16_t* target = &out[at];
            for (size_t k = i; k < end; ++k)
                *target++ = s[k];
            i = end;
            continue;
        }
        int length = 0;
        char32_t c = 0;
        // The allowed range of the second byte rules out overlong forms,
        // surrogates and code points beyond U+10FFFF.
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            out.push_back(Replacement);
            ++i;
            continue;
        }
        // A sequence cut short yields one U+FFFD for the bytes taken so far,
        // and the byte that broke it starts afresh.
        size_t j = i + 1;
        for (int k = 1; k < length; ++k, ++j) {
            if (j >= size && !final)
                return i; // the rest of it comes with the next piece
            if (j >= size || s[j] < low || s[j] > high)
                break;
            c = (c << 6) | (s[j] & 0x3F);
            low = 0x80;
            high = 0xBF;
        }
        if (j - i == static_cast<size_t>(length))
            AppendCodePoint(out, c);
        else
            out.push_back(Replacement);
        i = j;
    }
    return size;
}

void Utf8Decoder::Feed(Text& out, const char* bytes, size_t size)
{
    if (!pending_.empty()) {
        // A few bytes of this piece finish the sequence the last one cut.
        const size_t old = pending_.size();
        const size_t borrowed = std::min<size_t>(size, 3);
        pending_.append(bytes, borrowed);
        const size_t used = AppendUtf16FromUtf8(out, pending_.data(), pending_.size(), false);
        if (used < old) { // still cut: the whole piece was borrowed
            pending_.erase(0, used);
            return;
        }
        bytes += used - old;
        size -= used - old;
        pending_.clear();
    }
    const size_t used = AppendUtf16FromUtf8(out, bytes, size, false);
    pending_.assign(bytes + used, size - used);
}

void Utf8Decoder::Finish(Text& out)
{
    AppendUtf16FromUtf8(out, pending_.data(), pending_.size(), true);
    pending_.clear();
}

size_t AppendUtf8FromUtf16(Bytes& out, const char16_t* text, size_t size, bool final)
{
    size_t i = 0;
    for (; i < size; ++i) {
        if (text[i] < 0x80) {
            // Most text is ASCII: narrow the whole run in one simple loop.
            size_t end = i + 1;
            while (end < size && text[end] < 0x80)
                ++end;
            const size_t at = out.size();
            out.resize(at + (end - i));
            char* target = &out[at];
            for (size_t k = i; k < end; ++k)
                *target++ = static_cast<char>(text[k]);
            i = end - 1;
            continue;
        }
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 == size && !final)
            return i; // its low half comes with the next piece
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < size && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = Replacement;
        }
        AppendUtf8(out, c);
    }
    return i;
}

Text TextFromAnsi(const Bytes& bytes)
{
    Text text;
    // UTF-16 never needs more units than UTF-8 has bytes.
    text.reserve(bytes.size());
    AppendUtf16FromUtf8(text, bytes.data(), bytes.size(), true);
    return text;
}

Bytes AnsiFromText(const Text& text)
{
    Bytes bytes;
    bytes.reserve(text.size());
    AskForHugePages(bytes.data(), bytes.capacity());
    AppendUtf8FromUtf16(bytes, text.data(), text.size(), true);
    return bytes;
}

Bytes Latin1FromText(const Text& text)
{
    Bytes bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        bytes.push_back(c < 0x100 ? static_cast<char>(c) : '?');
        // One '?' for a whole surrogate pair: it is one character.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
    }
    return bytes;
}
