#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Platform.h"
#include "platform/posix/HugePages.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/Utf8.h"

namespace {

// Files move through memory in blocks of this size.
constexpr size_t Block = size_t{1} << 20;

// Owns one open file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, so that a failing close (a delayed write error) is seen.
    int release()
    {
        const int result = close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// Removes the temporary name on every path, so no failure leaves it behind.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() { unlink(path_.c_str()); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

private:
    std::string path_;
};

void WriteAll(int fd, const Bytes& bytes, const std::string& step)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            ThrowSystemError(step);
        }
        done += static_cast<size_t>(written);
    }
}

// Moves the finished file to its name only if that name is still free, so a
// text stored meanwhile by another run is never overwritten.
void MoveIntoPlaceWithoutReplacing(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS)
        ThrowSystemError("store the text as " + to);
    // Some file systems cannot rename without replacing; a hard link fails the
    // same way on an existing name.
    if (link(from.c_str(), to.c_str()) != 0)
        ThrowSystemError("store the text as " + to);
}

} // namespace

bool OrdinaryFileExists(const Text& path)
{
    // NOTE: stat only looks, so a FIFO or device of that name cannot block.
    struct stat status {};
    return stat(NarrowPath(path).c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

Text ReadTextFile(const Text& path)
{
    const std::string name = NarrowPath(path);
    const std::string step = "read " + name;
    FileDescriptor file(open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        ThrowSystemError(step);
    struct stat status {};
    if (fstat(file.get(), &status) != 0)
        ThrowSystemError(step);
    if (!S_ISREG(status.st_mode))
        throw PlatformError(step, "not an ordinary file");
    Text text;
    // UTF-16 never needs more units than UTF-8 has bytes.
    text.reserve(static_cast<size_t>(status.st_size));
    AskForHugePages(text.data(), text.capacity() * sizeof(char16_t));
    Utf8Decoder decoder;
    // No bigger than the file: every fresh page costs a fault.
    Bytes block(std::min(Block, static_cast<size_t>(status.st_size) + 1), '\0');
    for (;;) {
        const ssize_t count = read(file.get(), block.data(), block.size());
        if (count < 0) {
            if (errno == EINTR)
                continue;
            ThrowSystemError(step);
        }
        if (count == 0)
            break;
        decoder.Feed(text, block.data(), static_cast<size_t>(count));
    }
    decoder.Finish(text);
    return text;
}

void CreateTextFile(const Text& path, const Text& text)
{
    const std::string name = NarrowPath(path);
    // NOTE: a file-size limit must fail the write with EFBIG, not kill the run
    // with the temporary file still there.
    std::signal(SIGXFSZ, SIG_IGN);

    int fd = -1;
    std::string temporaryName;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporaryName = name + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
        fd = open(temporaryName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100))
            ThrowSystemError("create " + temporaryName);
    }
    FileDescriptor file(fd);
    TemporaryFile temporary(temporaryName);
    const std::string step = "write " + temporaryName;
    Bytes block;
    for (size_t done = 0; done < text.size();) {
        block.clear();
        const size_t piece = std::min(text.size() - done, Block / 4);
        done += AppendUtf8FromUtf16(block, text.data() + done, piece, done + piece == text.size());
        WriteAll(file.get(), block, step);
    }
    if (file.release() != 0)
        ThrowSystemError(step);
    // The guard then removes the temporary name: gone already after a rename,
    // a second link after the fallback.
    MoveIntoPlaceWithoutReplacing(temporaryName, name);
}

void RemoveFile(const Text& path)
{
    const std::string name = NarrowPath(path);
    if (unlink(name.c_str()) != 0)
        ThrowSystemError("delete " + name);
}
