#include "tests/unit/FakePlatform.h"

FakeWorld& World()
{
    static FakeWorld world;
    return world;
}

namespace {
void Call(const std::string& name)
{
    World().calls.push_back(name);
    if (World().failingCall == name)
        throw PlatformError(name, "refused by the test");
}
} // namespace

const char16_t PathSeparator = u'/';

int ShowCursor(int show)
{
    Call(show ? "ShowCursor(TRUE)" : "ShowCursor(FALSE)");
    return show ? ++World().pointerCount : --World().pointerCount;
}

Text ArgumentText()
{
    Call("ArgumentText");
    return World().argument;
}

Text UpperCaseText(const Text& text)
{
    Call("UpperCaseText");
    Text upper = text;
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return upper;
}

Text ProgramFolder()
{
    Call("ProgramFolder");
    return u"/programs";
}

void EndProgram()
{
    Call("EndProgram");
    throw ProgramEnded{};
}

void ReportFailure(const PlatformError&) {}

Text GetClipboardText()
{
    Call("GetClipboardText");
    return World().clipboard;
}

void ClearClipboard()
{
    Call("ClearClipboard");
    World().clipboard.clear();
    World().clipboardHoldsPicture = false;
}

void SetClipboardText(const Text& text)
{
    Call("SetClipboardText");
    World().clipboard = text;
}

bool OrdinaryFileExists(const Text& path)
{
    Call("OrdinaryFileExists");
    return World().files.count(path) > 0;
}

Text ReadTextFile(const Text& path)
{
    Call("ReadTextFile");
    return TextFromAnsi(World().files.at(path));
}

void CreateTextFile(const Text& path, const Text& text)
{
    Call("CreateTextFile");
    World().files[path] = AnsiFromText(text);
}

void RemoveFile(const Text& path)
{
    Call("RemoveFile");
    World().files.erase(path);
}

// Latin-1 is enough for the run's own logic.
Bytes AnsiFromText(const Text& text)
{
    return Bytes(text.begin(), text.end());
}

Text TextFromAnsi(const Bytes& bytes)
{
    Text text;
    for (unsigned char byte : bytes)
        text.push_back(byte);
    return text;
}
