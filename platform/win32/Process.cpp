#include "platform/Platform.h"
#include "platform/win32/Win32Error.h"

const char16_t PathSeparator = u'\\';

Text ArgumentText()
{
    const char16_t* line = reinterpret_cast<const char16_t*>(GetCommandLineW());
    // The program's own name: quoted, or up to the first blank.
    if (*line == u'"') {
        ++line;
        while (*line && *line != u'"')
            ++line;
        if (*line)
            ++line;
    } else {
        while (*line && *line != u' ' && *line != u'\t')
            ++line;
    }
    while (*line == u' ' || *line == u'\t')
        ++line;
    return line; // trailing blanks stay part of it
}

Text UpperCaseText(const Text& text)
{
    if (text.empty())
        return text;
    Text upper(text.size(), u'\0');
    const int units = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, Wide(text), static_cast<int>(text.size()),
                                   reinterpret_cast<wchar_t*>(upper.data()), static_cast<int>(upper.size()));
    if (units == 0)
        ThrowLastError("upper-case the command line");
    upper.resize(static_cast<size_t>(units));
    return upper;
}

Text ProgramFolder()
{
    Text path(MAX_PATH, u'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()), static_cast<DWORD>(path.size()));
        if (length == 0)
            ThrowLastError("find the program's folder");
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2); // cut short: grow until the whole path fits
    }
    const size_t separator = path.find_last_of(u"\\/");
    // At a drive's root the folder keeps its backslash ("C:\").
    const bool root = separator == 2 && path[1] == u':';
    path.resize(separator == Text::npos ? 0 : root ? separator + 1 : separator);
    return path;
}

void EndProgram()
{
    ExitProcess(0);
}

void ReportFailure(const PlatformError& error)
{
    const std::string message = "TAVO could not " + error.step + ".\n\n" + error.reason;
    const int units = MultiByteToWideChar(CP_UTF8, 0, message.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, message.c_str(), -1, wide.data(), units);
    MessageBoxW(nullptr, wide.c_str(), L"TAVO", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}
