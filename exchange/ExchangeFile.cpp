#include "exchange/ExchangeFile.h"

namespace {
// SUB: the end-of-file mark that other programs may leave at the end.
constexpr char16_t EndMark = 0x1A;
}

Text ExchangeFilePath()
{
    // NOTE: appended without looking at the folder's end; at a root the doubled
    // separator still names the same file.
    return ProgramFolder() + PathSeparator + u"TAVO.TXT";
}

bool ExchangeFileExists(const Text& path)
{
    return OrdinaryFileExists(path);
}

void WriteExchangeFile(const Text& path, const Text& text)
{
    CreateTextFile(path, text);
}

Text ReadExchangeFile(const Text& path)
{
    Text text = ReadTextFile(path);
    if (!text.empty() && text.back() == EndMark)
        text.pop_back();
    return text;
}

void DeleteExchangeFile(const Text& path)
{
    RemoveFile(path);
}
