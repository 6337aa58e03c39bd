#pragma once
// The X connection and the pieces every clipboard operation shares.

#include <X11/Xlib.h>

#include <chrono>
#include <memory>
#include <poll.h>
#include <string>

#include "platform/Platform.h"

struct XFreeDeleter {
    void operator()(void* data) const
    {
        if (data)
            XFree(data);
    }
};

struct ClipboardAtoms {
    Atom clipboard, targets, timestamp, utf8String, string, text, textPlainUtf8, incr, integer,
        atom, transfer;
};

// The run's one connection to the X server, with an unmapped window that
// receives its own property changes. Opened on first use (the error names
// DISPLAY, so the user sees where it looked) and never closed: the run is
// short, and a release run hands it to the clipboard's keeper.
struct XSession {
    Display* display;
    Window window;
    ClipboardAtoms atoms;
};
XSession& RunSession(const std::string& step);
// In the run once the keeper has been forked: the connection is the keeper's
// now, and this process must not touch it again.
void LeaveSessionToKeeper();
// The server's current time, from a property change on the window: selections
// must be taken with a real timestamp, never CurrentTime.
Time ServerTime(Display* display, Window window, const std::string& step);

// Waits for the first event that `matches`, at most `patience`; events that do
// not match are dropped. False when time ran out.
template <typename Matches>
bool WaitForEvent(Display* display, XEvent& event, Matches matches, std::chrono::milliseconds patience)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        while (XPending(display)) {
            XNextEvent(display, &event);
            if (matches(event))
                return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, static_cast<int>(left.count()) + 1);
    }
}
