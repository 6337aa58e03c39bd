#pragma once

#include <string>

#include "platform/Platform.h"

// Win32 calls take the same 16-bit units that Text holds.
inline const wchar_t* Wide(const Text& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Messages travel as UTF-8 until they are shown.
std::string Utf8FromText(const Text& text);

// Throws the failure of a system call, with the system's message for
// GetLastError as the reason.
[[noreturn]] void ThrowLastError(const std::string& step);
