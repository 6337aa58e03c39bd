#include <cstring>

#include "platform/Platform.h"
#include "platform/win32/Win32Error.h"

namespace {

// A message-only window: never shown, but an owner for the clipboard.
// NOTE: SetClipboardData may fail after EmptyClipboard when the clipboard was
// opened without an owner window.
class OwnerWindow {
public:
    explicit OwnerWindow(const std::string& step)
        : window_(CreateWindowExW(0, L"STATIC", L"TAVO", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr))
    {
        if (!window_)
            ThrowLastError(step);
    }
    ~OwnerWindow() { DestroyWindow(window_); }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

// The clipboard, open for the length of one operation and closed on every path.
class OpenClipboardGuard {
public:
    OpenClipboardGuard(HWND owner, const std::string& step)
    {
        if (!OpenClipboard(owner))
            ThrowLastError(step);
    }
    ~OpenClipboardGuard() { CloseClipboard(); }
    OpenClipboardGuard(const OpenClipboardGuard&) = delete;
    OpenClipboardGuard& operator=(const OpenClipboardGuard&) = delete;
};

// Movable global memory, freed unless the clipboard has taken it.
class GlobalBlock {
public:
    GlobalBlock(const void* data, size_t size, const std::string& step)
        : block_(GlobalAlloc(GMEM_MOVEABLE, size))
    {
        if (!block_)
            ThrowLastError(step);
        void* target = GlobalLock(block_);
        if (!target) {
            GlobalFree(block_);
            ThrowLastError(step);
        }
        std::memcpy(target, data, size);
        GlobalUnlock(block_);
    }
    ~GlobalBlock()
    {
        if (block_)
            GlobalFree(block_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    // Places the block on the open clipboard; from then on it is the system's.
    void Place(UINT format, const std::string& step)
    {
        if (!SetClipboardData(format, block_))
            ThrowLastError(step);
        block_ = nullptr;
    }

private:
    HGLOBAL block_;
};

} // namespace

Text GetClipboardText()
{
    const std::string step = "read the clipboard";
    const OwnerWindow window(step);
    const OpenClipboardGuard clipboard(window.get(), step);
    if (!IsClipboardFormatAvailable(CF_TEXT))
        return {};
    const HANDLE data = GetClipboardData(CF_TEXT);
    if (!data)
        ThrowLastError(step);
    const auto* bytes = static_cast<const char*>(GlobalLock(data));
    if (!bytes)
        ThrowLastError(step);
    // The text ends at its terminating zero, or at the block's end without one.
    const Bytes text(bytes, strnlen(bytes, GlobalSize(data)));
    GlobalUnlock(data);
    return TextFromAnsi(text);
}

void ClearClipboard()
{
    const std::string step = "empty the clipboard";
    const OwnerWindow window(step);
    const OpenClipboardGuard clipboard(window.get(), step);
    if (!EmptyClipboard())
        ThrowLastError(step);
}

void SetClipboardText(const Text& text)
{
    const std::string step = "put the text on the clipboard";
    const Bytes bytes = AnsiFromText(text);
    GlobalBlock ansi(bytes.c_str(), bytes.size() + 1, step);
    // NOTE: without CF_LOCALE, Unicode readers would decode the bytes in the
    // code page of the keyboard layout; the system locale's is the one they
    // were made in.
    const LCID locale = GetSystemDefaultLCID();
    GlobalBlock localeBlock(&locale, sizeof locale, step);
    const OwnerWindow window(step);
    const OpenClipboardGuard clipboard(window.get(), step);
    if (!EmptyClipboard())
        ThrowLastError(step);
    ansi.Place(CF_TEXT, step);
    localeBlock.Place(CF_LOCALE, step);
}
