#include <X11/Xatom.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/Utf8.h"
#include "platform/posix/X11Display.h"

namespace {

// A reader that takes no chunk for this long is given up, so it holds nothing.
constexpr std::chrono::seconds ReaderPatience{10};
constexpr size_t IncrChunk = size_t{1} << 20;

// One reader's INCR transfer in progress.
struct Transfer {
    Window requestor;
    Atom property;
    Atom type;
    const Bytes* data;
    size_t offset;
    std::chrono::steady_clock::time_point lastProgress;
};

// Serves the text to every reader until another program takes the clipboard
// or the X server goes away.
class Keeper {
public:
    Keeper(Display* display, Window window, const ClipboardAtoms& atoms, Time since, const Text& text,
           const Bytes& utf8)
        : display_(display), window_(window), atoms_(atoms), since_(since), text_(text), utf8_(utf8)
    {
        long words = XExtendedMaxRequestSize(display);
        if (words == 0)
            words = XMaxRequestSize(display);
        // Room for the ChangeProperty request's own header.
        largestProperty_ = static_cast<size_t>(words) * 4 - 64;
    }

    void Run()
    {
        while (!cleared_ || !transfers_.empty()) {
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                Handle(event);
            }
            DropStalledReaders();
            if (cleared_ && transfers_.empty())
                break;
            pollfd connection{ConnectionNumber(display_), POLLIN, 0};
            if (poll(&connection, 1, transfers_.empty() ? -1 : 1000) > 0 &&
                (connection.revents & (POLLHUP | POLLERR)))
                return;
        }
    }

private:
    void Handle(const XEvent& event)
    {
        if (event.type == SelectionClear && event.xselectionclear.selection == atoms_.clipboard)
            cleared_ = true; // readers already served still get the rest
        else if (event.type == SelectionRequest)
            Answer(event.xselectionrequest);
        else if (event.type == PropertyNotify && event.xproperty.state == PropertyDelete)
            SendNextChunk(event.xproperty.window, event.xproperty.atom);
        else if (event.type == DestroyNotify)
            Forget(event.xdestroywindow.window, None);
    }

    void Answer(const XSelectionRequestEvent& request)
    {
        XSelectionEvent reply{};
        reply.type = SelectionNotify;
        reply.display = display_;
        reply.requestor = request.requestor;
        reply.selection = request.selection;
        reply.target = request.target;
        reply.time = request.time;
        // Obsolete readers name no property; the target then serves as one.
        const Atom property = request.property == None ? request.target : request.property;
        const bool ours = !cleared_ && request.selection == atoms_.clipboard &&
                          (request.time == CurrentTime || request.time >= since_);
        if (ours && Provide(request.requestor, property, request.target))
            reply.property = property;
        XSendEvent(display_, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
        XFlush(display_);
    }

    bool Provide(Window requestor, Atom property, Atom target)
    {
        if (target == atoms_.targets) {
            const Atom offered[] = {atoms_.targets, atoms_.timestamp, atoms_.utf8String,
                                    atoms_.string,  atoms_.text,      atoms_.textPlainUtf8};
            XChangeProperty(display_, requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered), std::size(offered));
        } else if (target == atoms_.timestamp) {
            const long stamp = static_cast<long>(since_);
            XChangeProperty(display_, requestor, property, XA_INTEGER, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&stamp), 1);
        } else if (target == atoms_.utf8String || target == atoms_.text) {
            SendText(requestor, property, atoms_.utf8String, utf8_);
        } else if (target == atoms_.textPlainUtf8) {
            SendText(requestor, property, atoms_.textPlainUtf8, utf8_);
        } else if (target == atoms_.string) {
            if (!latin1Ready_) {
                latin1_ = Latin1FromText(text_);
                latin1Ready_ = true;
            }
            SendText(requestor, property, XA_STRING, latin1_);
        } else {
            return false;
        }
        return true;
    }

    void SendText(Window requestor, Atom property, Atom type, const Bytes& data)
    {
        if (data.size() <= largestProperty_) {
            XChangeProperty(display_, requestor, property, type, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
            return;
        }
        // NOTE: listen to the reader's window before announcing INCR; its
        // first PropertyDelete may come before we could look.
        XSelectInput(display_, requestor, PropertyChangeMask | StructureNotifyMask);
        const long size = static_cast<long>(data.size());
        XChangeProperty(display_, requestor, property, atoms_.incr, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&size), 1);
        transfers_.push_back({requestor, property, type, &data, 0, std::chrono::steady_clock::now()});
    }

    // NOTE: the next chunk goes only after the reader's PropertyDelete; writing
    // sooner would overwrite a chunk it has not read.
    void SendNextChunk(Window requestor, Atom property)
    {
        const auto transfer = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer& t) {
            return t.requestor == requestor && t.property == property;
        });
        if (transfer == transfers_.end())
            return;
        const size_t size = std::min(IncrChunk, transfer->data->size() - transfer->offset);
        XChangeProperty(display_, requestor, property, transfer->type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(transfer->data->data() + transfer->offset),
                        static_cast<int>(size));
        XFlush(display_);
        transfer->offset += size;
        transfer->lastProgress = std::chrono::steady_clock::now();
        // The empty chunk that ends the transfer has now been written.
        if (size == 0)
            Forget(requestor, property);
    }

    // Drops the transfers to a window (of one property, unless None).
    void Forget(Window requestor, Atom property)
    {
        transfers_.erase(std::remove_if(transfers_.begin(), transfers_.end(),
                                        [&](const Transfer& t) {
                                            return t.requestor == requestor &&
                                                   (property == None || t.property == property);
                                        }),
                         transfers_.end());
        const bool stillReading = std::any_of(transfers_.begin(), transfers_.end(),
                                              [&](const Transfer& t) { return t.requestor == requestor; });
        if (!stillReading)
            XSelectInput(display_, requestor, NoEventMask);
    }

    void DropStalledReaders()
    {
        const auto now = std::chrono::steady_clock::now();
        std::vector<Transfer> stalled;
        for (const Transfer& t : transfers_)
            if (now - t.lastProgress > ReaderPatience)
                stalled.push_back(t);
        for (const Transfer& t : stalled)
            Forget(t.requestor, t.property);
    }

    Display* display_;
    Window window_;
    ClipboardAtoms atoms_;
    Time since_;
    const Text& text_;
    const Bytes& utf8_;
    Bytes latin1_;
    bool latin1Ready_ = false;
    size_t largestProperty_ = 0;
    bool cleared_ = false;
    std::vector<Transfer> transfers_;
};

int EndQuietly(Display*)
{
    _exit(0);
}

// The keeper's whole life, in the forked process, on the connection that
// already owns the clipboard.
void KeepClipboard(const XSession& x, Time since, const Text& text, const Bytes& utf8)
{
    // NOTE: off the caller's session, terminal, pipes and folder, so a shell's
    // `out=$(tavo)` returns at once and no folder stays busy.
    setsid();
    if (chdir("/") != 0)
        return;
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    const auto connection = static_cast<unsigned>(ConnectionNumber(x.display));
    close_range(STDERR_FILENO + 1, connection - 1, 0);
    close_range(connection + 1, ~0U, 0);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    XSetIOErrorHandler(EndQuietly);
    Keeper(x.display, x.window, x.atoms, since, text, utf8).Run();
}

} // namespace

void SetClipboardText(const Text& text)
{
    const std::string step = "put the text on the clipboard";
    const Bytes utf8 = AnsiFromText(text);
    const XSession& x = RunSession(step);
    const Time since = ServerTime(x.display, x.window, step);
    XSetSelectionOwner(x.display, x.atoms.clipboard, x.window, since);
    // The run goes on (to delete the file) only once the clipboard is really ours.
    if (XGetSelectionOwner(x.display, x.atoms.clipboard) != x.window)
        throw PlatformError(step, "the X server gave the clipboard to another program");
    // NOTE: nothing may wait in Xlib's output buffer, or both processes would send it.
    XSync(x.display, False);
    const pid_t keeper = fork();
    if (keeper < 0)
        ThrowSystemError(step);
    if (keeper == 0) {
        KeepClipboard(x, since, text, utf8);
        _exit(0);
    }
    LeaveSessionToKeeper();
}
