#include <climits>

#include "platform/Platform.h"
#include "platform/win32/Win32Error.h"

namespace {

Bytes Narrow(UINT codePage, const Text& text, const std::string& step)
{
    if (text.empty())
        return {};
    if (text.size() > INT_MAX)
        throw PlatformError(step, "the text is too long");
    const int units = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(codePage, 0, Wide(text), units, nullptr, 0, nullptr, nullptr);
    if (size == 0)
        ThrowLastError(step);
    Bytes bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, Wide(text), units, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

} // namespace

Bytes AnsiFromText(const Text& text)
{
    return Narrow(CP_ACP, text, "convert the text to the ANSI code page");
}

Text TextFromAnsi(const Bytes& bytes)
{
    if (bytes.empty())
        return {};
    if (bytes.size() > INT_MAX)
        throw PlatformError("convert the text from the ANSI code page", "the text is too long");
    const int size = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    if (units == 0)
        ThrowLastError("convert the text from the ANSI code page");
    Text text(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()), units);
    return text;
}

std::string Utf8FromText(const Text& text)
{
    return Narrow(CP_UTF8, text, "convert a message");
}

void ThrowLastError(const std::string& step)
{
    const DWORD error = GetLastError();
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    Text reason = length ? Text(reinterpret_cast<const char16_t*>(message), length) : Text();
    LocalFree(message);
    // The system's messages end in a line break.
    while (!reason.empty() && (reason.back() == u'\r' || reason.back() == u'\n' || reason.back() == u' '))
        reason.pop_back();
    const std::string code = "error " + std::to_string(error);
    throw PlatformError(step, reason.empty() ? code : Utf8FromText(reason) + " (" + code + ")");
}
