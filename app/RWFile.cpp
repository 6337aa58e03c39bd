#include "app/RWFile.h"

#include "exchange/ExchangeFile.h"
#include "platform/Platform.h"

void RWFile()
{
    ShowCursor(FALSE);
    const Text path = ExchangeFilePath();

    if (!ExchangeFileExists(path)) {
        WriteExchangeFile(path, GetClipboardText());
        EndProgram();
    }

    const Text argument = UpperCaseText(ArgumentText());
    Text current;
    if (!argument.empty())
        current = GetClipboardText();
    // NOTE: the file is read before the clipboard is emptied, so a file that
    // cannot be read leaves the user's clipboard as it was.
    Text saved = ReadExchangeFile(path);
    ClearClipboard();
    if (argument == u"A")
        saved = current + saved;
    if (argument == u"B")
        saved += current;
    SetClipboardText(saved);
    DeleteExchangeFile(path);
    EndProgram();
}
