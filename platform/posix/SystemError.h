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

std::string NarrowPath(const Text& path);
