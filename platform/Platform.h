#pragma once
// The system services the run and the exchange file rely on. Each platform
// supplies one implementation of these functions (chosen by CMake); tests link
// a fake one instead.

#include <stdexcept>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
// NOTE: on Windows this is user32's own; elsewhere the platform keeps the
// pointer's display count itself.
int ShowCursor(int show);
constexpr int FALSE = 0;
#endif

// Text as the run handles it: 16-bit wide characters (UTF-16).
using Text = std::u16string;
// Text in the system's narrow encoding, as it lies in files.
using Bytes = std::string;

// Every failing platform operation throws this: the step that failed and the
// system's reason for it.
class PlatformError : public std::runtime_error {
public:
    PlatformError(const std::string& step, const std::string& reason)
        : std::runtime_error(step + ": " + reason), step(step), reason(reason) {}
    std::string step;
    std::string reason;
};

// The process
extern const char16_t PathSeparator;
Text ArgumentText();
Text UpperCaseText(const Text& text);
Text ProgramFolder();
[[noreturn]] void EndProgram();
// Tells the user which step failed and why.
void ReportFailure(const PlatformError& error);

// The clipboard
Text GetClipboardText();
void ClearClipboard();
void SetClipboardText(const Text& text);

// Files: they hold text in the system's narrow encoding; these convert piece by
// piece, so a large text is never held as bytes and as text at once.
bool OrdinaryFileExists(const Text& path);
Text ReadTextFile(const Text& path);
// Creates the file holding exactly the text, or fails and leaves nothing:
// never replaces an existing file and never leaves a partial one.
void CreateTextFile(const Text& path, const Text& text);
void RemoveFile(const Text& path);

// Conversion between wide text and the system's narrow encoding
Bytes AnsiFromText(const Text& text);
Text TextFromAnsi(const Bytes& bytes);
