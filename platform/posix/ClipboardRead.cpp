#include <X11/Xatom.h>

#include <algorithm>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/Utf8.h"
#include "platform/posix/X11Display.h"

namespace {

// How long the clipboard's owner may stay silent before the run gives up.
constexpr std::chrono::seconds Patience{5};
// An owner's announced size is only a hint; never reserve more than this on it.
constexpr size_t LargestReservation = size_t{1} << 28;

[[noreturn]] void ThrowSilentOwner(const std::string& step)
{
    throw PlatformError(step, "the program that holds the clipboard did not answer within " +
                                  std::to_string(Patience.count()) + " seconds");
}

struct PropertyChunk {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    long firstValue = 0; // the size an INCR announcement carries
    std::vector<Atom> atoms; // a list of targets
};

// Reads the whole property, appends 8-bit data to `out`, and deletes it (which
// an INCR sender takes as the call for its next chunk).
PropertyChunk TakeProperty(Display* display, Window window, Atom property, Bytes& out)
{
    PropertyChunk chunk;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType, &chunk.type,
                       &chunk.format, &chunk.items, &after, &data);
    XFree(data);
    data = nullptr;
    XGetWindowProperty(display, window, property, 0, static_cast<long>((after + 3) / 4), True,
                       AnyPropertyType, &chunk.type, &chunk.format, &chunk.items, &after, &data);
    const std::unique_ptr<unsigned char, XFreeDeleter> owned(data);
    if (!data)
        return chunk;
    if (chunk.format == 8)
        out.append(reinterpret_cast<const char*>(data), chunk.items);
    else if (chunk.format == 32 && chunk.items > 0) {
        // Xlib hands 32-bit items over as longs.
        const auto* values = reinterpret_cast<const long*>(data);
        chunk.firstValue = values[0];
        chunk.atoms.assign(values, values + chunk.items);
    }
    return chunk;
}

// Collects an INCR transfer: one chunk per new value of the property, until
// the owner writes an empty one.
void ReceiveIncrementally(Display* display, Window window, Atom property, long announced, Bytes& out,
                          const std::string& step)
{
    if (announced > 0)
        out.reserve(std::min(static_cast<size_t>(announced), LargestReservation));
    const auto isNewChunk = [&](const XEvent& e) {
        return e.type == PropertyNotify && e.xproperty.window == window && e.xproperty.atom == property &&
               e.xproperty.state == PropertyNewValue;
    };
    for (;;) {
        XEvent event;
        if (!WaitForEvent(display, event, isNewChunk, Patience))
            ThrowSilentOwner(step);
        if (TakeProperty(display, window, property, out).items == 0)
            return;
    }
}

// Asks the owner for the selection in one target; gives the property that
// holds the answer, or None when the owner has no such form.
Atom Convert(Display* display, Window window, const ClipboardAtoms& atoms, Atom target, const std::string& step)
{
    XConvertSelection(display, atoms.clipboard, target, atoms.transfer, window, CurrentTime);
    XEvent event;
    const auto isAnswer = [&](const XEvent& e) {
        return e.type == SelectionNotify && e.xselection.requestor == window;
    };
    if (!WaitForEvent(display, event, isAnswer, Patience))
        ThrowSilentOwner(step);
    return event.xselection.property;
}

// The text forms to ask for, best first: those the owner lists, or, from an
// owner that cannot list them, both in the hope it has one.
std::vector<Atom> TextTargets(Display* display, Window window, const ClipboardAtoms& atoms,
                              const std::string& step)
{
    const std::vector<Atom> preferred = {atoms.utf8String, atoms.string};
    const Atom property = Convert(display, window, atoms, atoms.targets, step);
    if (property == None)
        return preferred;
    Bytes list;
    const PropertyChunk answer = TakeProperty(display, window, property, list);
    if (answer.type != XA_ATOM || answer.format != 32)
        return preferred;
    std::vector<Atom> offered;
    for (const Atom target : preferred)
        if (std::find(answer.atoms.begin(), answer.atoms.end(), target) != answer.atoms.end())
            offered.push_back(target);
    return offered;
}

} // namespace

Text GetClipboardText()
{
    const std::string step = "read the clipboard";
    const DisplayPtr connection = OpenDisplay(step);
    Display* display = connection.get();
    const ClipboardAtoms atoms = InternClipboardAtoms(display);
    if (XGetSelectionOwner(display, atoms.clipboard) == None)
        return {};
    const Window window = CreateHiddenWindow(display);

    // An owner without a text form (a picture, say) gives the empty text.
    for (const Atom target : TextTargets(display, window, atoms, step)) {
        const Atom property = Convert(display, window, atoms, target, step);
        if (property == None)
            continue;
        Bytes bytes;
        const PropertyChunk first = TakeProperty(display, window, property, bytes);
        if (first.type == atoms.incr)
            ReceiveIncrementally(display, window, property, first.firstValue, bytes, step);
        return first.type == atoms.string ? TextFromLatin1(bytes) : TextFromAnsi(bytes);
    }
    return {};
}

void ClearClipboard()
{
    const std::string step = "empty the clipboard";
    const DisplayPtr connection = OpenDisplay(step);
    Display* display = connection.get();
    const ClipboardAtoms atoms = InternClipboardAtoms(display);
    const Window window = CreateHiddenWindow(display);
    XSetSelectionOwner(display, atoms.clipboard, None, ServerTime(display, window, step));
    XSync(display, False);
}
