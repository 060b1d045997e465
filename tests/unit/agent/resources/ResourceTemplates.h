// Reads the resources linked into this test executable, by explicit language
// or through the system's own lookup, and decodes their binary templates.
// The W forms throughout: the A loaders would turn Japanese into '?' under an
// English code page.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace restest {

LANGID const kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);            // 1033
LANGID const kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN);      // 1041

// Resource types by number: the RT_ macros are narrow-string pointers in an
// ANSI build and do not mix with the W functions.
namespace rt {
WORD const kMenu = 4, kDialog = 5, kString = 6, kAccelerator = 9, kGroupIcon = 14, kVersion = 16;
}

// A resource's bytes inside the module image; the module owns them.
struct Bytes {
    BYTE const* data = nullptr;
    DWORD size = 0;
    explicit operator bool() const { return data != nullptr; }
};

// Exactly the copy stored under `language`; empty when there is none.
Bytes FindExact(WORD type, WORD id, LANGID language);
// Whichever copy the system picks for the running user interface.
Bytes FindForUser(WORD type, WORD id);

// String `id` of its block (ids 16n..16n+15 share block n+1).
std::wstring StringFromBlock(Bytes block, UINT id);

// One line per item: "Popup/Item=id", "Popup/-" for a separator, and any
// state flags (grayed, checked, breaks) spelled out so none slips in unseen.
std::vector<std::wstring> FlattenMenu(Bytes menu);

struct DialogControl {
    DWORD id = 0;
    DWORD style = 0;
    std::wstring windowClass;
    std::wstring text;
};
struct Dialog {
    DWORD style = 0;
    std::wstring caption;
    std::wstring typeface;
    std::vector<DialogControl> controls;
};
Dialog ParseDialogEx(Bytes dialog);

}  // namespace restest
