#pragma once
// The exchange file TAVO.TXT beside the program: the only state that lasts
// from one run to the next.

#include "platform/Platform.h"

Text ExchangeFilePath();
bool ExchangeFileExists(const Text& path);
void WriteExchangeFile(const Text& path, const Text& text);
Text ReadExchangeFile(const Text& path);
void DeleteExchangeFile(const Text& path);
