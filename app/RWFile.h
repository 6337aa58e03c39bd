#pragma once

// The whole run: stores the clipboard's text in the exchange file, or puts the
// saved text back on the clipboard and deletes the file. Ends the program.
[[noreturn]] void RWFile();
