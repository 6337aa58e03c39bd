#pragma once

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/Platform.h"

// Throws the failure of a system call, with errno's text as the reason.
[[noreturn]] inline void ThrowSystemError(const std::string& step, int error = errno)
{
    throw PlatformError(step, std::strerror(error));
}

// Paths as the file system takes them.
inline std::string NarrowPath(const Text& path)
{
    return AnsiFromText(path);
}
