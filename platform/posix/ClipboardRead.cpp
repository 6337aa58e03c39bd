#include <X11/Xatom.h>

#include <algorithm>
#include <malloc.h>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/HugePages.h"
#include "platform/posix/Utf8.h"
#include "platform/posix/X11Display.h"

namespace {

// How long the clipboard's owner may stay silent before the run gives up.
constexpr std::chrono::seconds Patience{5};

constexpr size_t TrimEvery = size_t{4} << 20;

[[noreturn]] void ThrowSilentOwner(const std::string& step)
{
    throw PlatformError(step, "the program that holds the clipboard did not answer within " +
                                  std::to_string(Patience.count()) + " seconds");
}

struct PropertyChunk {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    // NOTE: Xlib hands 32-bit items over as longs.
    std::unique_ptr<unsigned char, XFreeDeleter> data;
    const long* longs() const { return reinterpret_cast<const long*>(data.get()); }
};

// Reads the whole property and deletes it (which an INCR sender takes as the
// call for its next chunk).
PropertyChunk TakeProperty(Display* display, Window window, Atom property)
{
    PropertyChunk chunk;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    // One request for all of it (up to 2 GiB): the server sends no more than
    // the property holds.
    XGetWindowProperty(display, window, property, 0, 0x1FFFFFFF, True, AnyPropertyType, &chunk.type,
                       &chunk.format, &chunk.items, &after, &data);
    chunk.data.reset(data);
    if (!data)
        chunk.items = 0;
    return chunk;
}

// Gathers the owner's chunks as they came and decodes them only once the
// whole size is known: the text is then allocated once, and each chunk is
// released as soon as it is decoded, so a large text is never held twice.
class TextReceiver {
public:
    void Feed(PropertyChunk chunk)
    {
        if (chunk.format != 8 || chunk.items == 0)
            return;
        size_ += chunk.items;
        chunks_.push_back(std::move(chunk));
    }
    Text Finish()
    {
        Text text;
        // UTF-16 never needs more units than UTF-8 has bytes.
        text.reserve(size_);
        AskForHugePages(text.data(), text.capacity() * sizeof(char16_t));
        Utf8Decoder utf8;
        size_t released = 0;
        for (PropertyChunk& chunk : chunks_) {
            const auto* bytes = reinterpret_cast<const char*>(chunk.data.get());
            if (chunk.type == XA_STRING)
                text.append(bytes, bytes + chunk.items); // Latin-1: each byte is its character
            else
                utf8.Feed(text, bytes, chunk.items);
            chunk.data.reset();
            // NOTE: small chunks sit in the heap, which keeps freed pages
            // until asked to give them back.
            released += chunk.items;
            if (released >= TrimEvery) {
                malloc_trim(0);
                released = 0;
            }
        }
        utf8.Finish(text);
        return text;
    }

private:
    std::vector<PropertyChunk> chunks_;
    size_t size_ = 0;
};

// Collects an INCR transfer: one chunk per new value of the property, until
// the owner writes an empty one.
void ReceiveIncrementally(Display* display, Window window, Atom property, TextReceiver& receiver,
                          const std::string& step)
{
    const auto isNewChunk = [&](const XEvent& e) {
        return e.type == PropertyNotify && e.xproperty.window == window && e.xproperty.atom == property &&
               e.xproperty.state == PropertyNewValue;
    };
    for (;;) {
        XEvent event;
        if (!WaitForEvent(display, event, isNewChunk, Patience))
            ThrowSilentOwner(step);
        PropertyChunk chunk = TakeProperty(display, window, property);
        if (chunk.items == 0)
            return;
        receiver.Feed(std::move(chunk));
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
    const PropertyChunk answer = TakeProperty(display, window, property);
    if (answer.type != XA_ATOM || answer.format != 32)
        return preferred;
    const long* listed = answer.longs();
    std::vector<Atom> offered;
    for (const Atom target : preferred)
        if (std::find(listed, listed + answer.items, static_cast<long>(target)) != listed + answer.items)
            offered.push_back(target);
    return offered;
}

} // namespace

Text GetClipboardText()
{
    const std::string step = "read the clipboard";
    const XSession& x = RunSession(step);
    Display* display = x.display;
    const Window window = x.window;
    const ClipboardAtoms& atoms = x.atoms;
    if (XGetSelectionOwner(display, atoms.clipboard) == None)
        return {};

    // An owner without a text form (a picture, say) gives the empty text.
    for (const Atom target : TextTargets(display, window, atoms, step)) {
        const Atom property = Convert(display, window, atoms, target, step);
        if (property == None)
            continue;
        TextReceiver receiver;
        PropertyChunk first = TakeProperty(display, window, property);
        if (first.type == atoms.incr)
            ReceiveIncrementally(display, window, property, receiver, step);
        else
            receiver.Feed(std::move(first));
        return receiver.Finish();
    }
    return {};
}

void ClearClipboard()
{
    const std::string step = "empty the clipboard";
    const XSession& x = RunSession(step);
    XSetSelectionOwner(x.display, x.atoms.clipboard, None, ServerTime(x.display, x.window, step));
    XSync(x.display, False);
}
