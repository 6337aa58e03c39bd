#include "platform/posix/X11Display.h"

#include <X11/Xatom.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace {

// NOTE: a request on a window its reader has just destroyed fails with
// BadWindow; that must not end the run or the clipboard's keeper.
int IgnoreProtocolError(Display*, XErrorEvent*)
{
    return 0;
}

// Xlib cannot go on once the connection is gone, so this is where the run ends.
int ReportLostConnection(Display*)
{
    const char* name = std::getenv("DISPLAY");
    std::fprintf(stderr, "tavo: use the X display \"%s\" (DISPLAY): the connection to the X server was lost\n",
                 name ? name : "");
    _exit(1);
}

Display* OpenDisplay(const std::string& step)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        throw PlatformError(step, "DISPLAY is not set, so there is no X display to reach");
    Display* display = XOpenDisplay(name);
    if (!display)
        throw PlatformError(step, "cannot open the X display \"" + std::string(name) + "\" named by DISPLAY");
    XSetErrorHandler(IgnoreProtocolError);
    XSetIOErrorHandler(ReportLostConnection);
    return display;
}

ClipboardAtoms InternClipboardAtoms(Display* display)
{
    char* names[] = {const_cast<char*>("CLIPBOARD"),   const_cast<char*>("TARGETS"),
                     const_cast<char*>("TIMESTAMP"),   const_cast<char*>("UTF8_STRING"),
                     const_cast<char*>("STRING"),      const_cast<char*>("TEXT"),
                     const_cast<char*>("text/plain;charset=utf-8"), const_cast<char*>("INCR"),
                     const_cast<char*>("INTEGER"),     const_cast<char*>("ATOM"),
                     const_cast<char*>("TAVO_TRANSFER")};
    Atom atoms[sizeof names / sizeof names[0]] = {};
    XInternAtoms(display, names, sizeof names / sizeof names[0], False, atoms);
    return {atoms[0], atoms[1], atoms[2], atoms[3], atoms[4], atoms[5],
            atoms[6], atoms[7], atoms[8], atoms[9], atoms[10]};
}

Window CreateHiddenWindow(Display* display)
{
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    return XCreateWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, CopyFromParent, InputOnly,
                         CopyFromParent, CWEventMask, &attributes);
}

std::optional<XSession> session;

} // namespace

XSession& RunSession(const std::string& step)
{
    if (!session) {
        Display* display = OpenDisplay(step);
        session = XSession{display, CreateHiddenWindow(display), InternClipboardAtoms(display)};
    }
    return *session;
}

void LeaveSessionToKeeper()
{
    session.reset();
}

Time ServerTime(Display* display, Window window, const std::string& step)
{
    const Atom stamp = XInternAtom(display, "TAVO_TIMESTAMP", False);
    XChangeProperty(display, window, stamp, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    const auto isStamp = [&](const XEvent& e) {
        return e.type == PropertyNotify && e.xproperty.window == window && e.xproperty.atom == stamp;
    };
    if (!WaitForEvent(display, event, isStamp, std::chrono::seconds(5)))
        throw PlatformError(step, "the X server did not answer within 5 seconds");
    return event.xproperty.time;
}
