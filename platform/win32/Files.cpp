#include <string>

#include "platform/Platform.h"
#include "platform/win32/Win32Error.h"

namespace {

// Owns one open file handle.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE get() const { return handle_; }
    // Closes now, so that a failing close (a delayed write error) is seen.
    bool release()
    {
        const bool closed = CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

// Removes the temporary file unless it became the exchange file.
class TemporaryFile {
public:
    explicit TemporaryFile(Text path) : path_(std::move(path)) {}
    ~TemporaryFile()
    {
        if (!path_.empty())
            DeleteFileW(Wide(path_));
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    void keep() { path_.clear(); }

private:
    Text path_;
};

} // namespace

bool OrdinaryFileExists(const Text& path)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(Wide(path), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    const DWORD hidden = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return found.cFileName[0] != L'\0' && (found.dwFileAttributes & hidden) == 0;
}

Text ReadTextFile(const Text& path)
{
    const std::string step = "read " + Utf8FromText(path);
    FileHandle file(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        ThrowLastError(step);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        ThrowLastError(step);
    if (static_cast<unsigned long long>(size.QuadPart) > 0x7FFFFFFF)
        throw PlatformError(step, "the file is too large");
    Bytes bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD count = 0;
        if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &count, nullptr))
            ThrowLastError(step);
        if (count == 0)
            break; // the file shrank meanwhile
        done += count;
    }
    bytes.resize(done);
    return TextFromAnsi(bytes);
}

void CreateTextFile(const Text& path, const Text& text)
{
    const Bytes bytes = AnsiFromText(text);
    HANDLE handle = INVALID_HANDLE_VALUE;
    Text temporaryPath;
    for (int attempt = 0; handle == INVALID_HANDLE_VALUE; ++attempt) {
        const std::string suffix = "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt) + ".tmp";
        temporaryPath = path + Text(suffix.begin(), suffix.end());
        handle = CreateFileW(Wide(temporaryPath), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt == 100))
            ThrowLastError("create " + Utf8FromText(temporaryPath));
    }
    FileHandle file(handle);
    TemporaryFile temporary(temporaryPath);
    const std::string step = "write " + Utf8FromText(temporaryPath);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr))
            ThrowLastError(step);
        done += written;
    }
    if (!file.release())
        ThrowLastError(step);
    // NOTE: without MOVEFILE_REPLACE_EXISTING the move fails on an existing
    // name, so a text stored meanwhile (or a hidden TAVO.TXT) is never replaced.
    if (!MoveFileExW(Wide(temporaryPath), Wide(path), MOVEFILE_WRITE_THROUGH))
        ThrowLastError("store the text as " + Utf8FromText(path));
    temporary.keep();
}

void RemoveFile(const Text& path)
{
    if (!DeleteFileW(Wide(path)))
        ThrowLastError("delete " + Utf8FromText(path));
}
