#pragma once
// An in-memory world for the run: a clipboard, files and a command line, and a
// log of the platform calls the run made.

#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

struct FakeWorld {
    Text clipboard;
    bool clipboardHoldsPicture = false;
    std::map<Text, Bytes> files;
    Text argument;
    std::vector<std::string> calls;
    std::string failingCall; // this platform call throws
    int pointerCount = 0;
};

FakeWorld& World();

// Thrown by the fake EndProgram, so that a test gets control back.
struct ProgramEnded {};

inline const Text FakeExchangeFile = u"/programs/TAVO.TXT";
