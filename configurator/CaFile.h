// The CA certificate the certificate box can stand for: chosen with the
// common Open dialog, its text read whole.
#pragma once

#include <windows.h>

#include <string>

namespace dellomark {

// A CA certificate in PEM is a few kilobytes; a file far larger is none.
DWORD const kMaxCaFileBytes = 64 * 1024;

struct ChosenFile {
    std::string path;
    std::string name;  // the file's name in `path`, to show
};

// `filter` as the string table holds it: names and patterns, '|' after
// each but the last. False when the user cancelled.
bool ChooseCaFile(HWND owner, std::string const& filter, ChosenFile& out);

// False when the file cannot be read or is larger than kMaxCaFileBytes;
// `text` is written only on success.
bool ReadCaFile(std::string const& path, std::string& text);

}  // namespace dellomark
