#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <locale.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Platform.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/Utf8.h"

const char16_t PathSeparator = u'/';

namespace {
// A program without a window of its own sees no change in the pointer when it
// lowers the count; neither does this one.
int pointerCount = 0;
} // namespace

int ShowCursor(int show)
{
    return show ? ++pointerCount : --pointerCount;
}

Text ArgumentText()
{
    // The arguments come from the kernel's record so that the run needs nothing
    // handed down from main.
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    if (!in)
        ThrowSystemError("read the command line");
    const Bytes all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Bytes joined;
    const size_t first = all.find('\0');
    if (first != Bytes::npos && first + 1 < all.size()) {
        joined = all.substr(first + 1);
        joined.pop_back(); // the last argument's own terminator
        for (char& c : joined)
            if (c == '\0')
                c = ' ';
    }
    return TextFromAnsi(joined);
}

Text UpperCaseText(const Text& text)
{
    locale_t locale = newlocale(LC_CTYPE_MASK, "", nullptr);
    if (!locale)
        locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    Text upper;
    upper.reserve(text.size());
    for (char16_t c : text) {
        // Surrogate halves have no case; every other unit is a whole character.
        const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
        const wint_t mapped = surrogate || !locale ? c : towupper_l(c, locale);
        upper.push_back(mapped < 0x10000 ? static_cast<char16_t>(mapped) : c);
    }
    if (locale)
        freelocale(locale);
    return upper;
}

Text ProgramFolder()
{
    Bytes path(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0)
            ThrowSystemError("find the program's folder (/proc/self/exe)");
        if (static_cast<size_t>(length) < path.size()) {
            path.resize(static_cast<size_t>(length));
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.rfind('/');
    // At the root the folder is "/" itself, like a drive's root on Windows.
    path.resize(slash == 0 ? 1 : slash);
    return TextFromAnsi(path);
}

void EndProgram()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

namespace {
// Started from a desktop hotkey, the run has no terminal to print on: the
// desktop's notification service is then the only way the user learns of it.
void NotifyDesktop(const std::string& message)
{
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const pid_t child = fork();
    if (child != 0) {
        if (child > 0)
            waitpid(child, nullptr, 0);
        return;
    }
    // The grandchild delivers the notice on its own, so the run ends at once.
    if (fork() == 0) {
        // NOTE: off the caller's pipes, or `out=$(tavo)` would wait for it.
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        char* const argv[] = {const_cast<char*>("notify-send"), const_cast<char*>("--app-name=TAVO"),
                              const_cast<char*>("--urgency=critical"), const_cast<char*>("TAVO"),
                              const_cast<char*>(message.c_str()), nullptr};
        execvp("notify-send", argv);
    }
    _exit(0);
}
} // namespace

void ReportFailure(const PlatformError& error)
{
    std::fprintf(stderr, "tavo: %s\n", error.what());
    std::fflush(stderr);
    if (!isatty(STDERR_FILENO))
        NotifyDesktop(error.what());
}
