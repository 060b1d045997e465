#include "tests/unit/agent/resources/ResourceTemplates.h"

#include <cstring>
#include <stdexcept>

namespace restest {

namespace {

// Little-endian reader over a resource; reading past the end throws, which
// the test reports as a failure instead of reading stray memory.
class Cursor {
public:
    explicit Cursor(Bytes bytes) : bytes_(bytes) {}
    WORD Word() { return Read<WORD>(); }
    DWORD Dword() { return Read<DWORD>(); }
    void Skip(std::size_t count) { Take(count); }
    void AlignTo(std::size_t boundary) {
        if (offset_ % boundary != 0) Take(boundary - offset_ % boundary);
    }
    // Zero-terminated UTF-16.
    std::wstring Text() {
        std::wstring text;
        for (WORD c = Word(); c != 0; c = Word()) text.push_back(static_cast<wchar_t>(c));
        return text;
    }
    // "#<n>" for an ordinal, "" for none.
    std::wstring NameOrOrdinal() {
        WORD const first = Word();
        if (first == 0) return L"";
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        return std::wstring(1, static_cast<wchar_t>(first)) + Text();
    }

private:
    template <typename T>
    T Read() {
        T value;
        std::memcpy(&value, Take(sizeof value), sizeof value);
        return value;
    }
    BYTE const* Take(std::size_t count) {
        if (!bytes_ || count > bytes_.size - offset_)
            throw std::out_of_range("resource ends before the template does");
        BYTE const* const at = bytes_.data + offset_;
        offset_ += count;
        return at;
    }
    Bytes bytes_;
    std::size_t offset_ = 0;
};

Bytes Load(HRSRC found) {
    if (!found) return {};
    HMODULE const self = ::GetModuleHandleW(nullptr);
    HGLOBAL const loaded = ::LoadResource(self, found);  // module memory: nothing to free
    if (!loaded) return {};
    return {static_cast<BYTE const*>(::LockResource(loaded)), ::SizeofResource(self, found)};
}

WORD const kMenuEndFlag = MF_END;
WORD const kDialogExSignature = 0xFFFF;

struct MenuItem {
    WORD flags = 0;
    WORD id = 0;  // 0 for a popup
    std::wstring text;
    std::vector<MenuItem> children;
};

void ReadMenuLevel(Cursor& cursor, std::vector<MenuItem>& level) {
    for (;;) {
        MenuItem item;
        item.flags = cursor.Word();
        bool const popup = (item.flags & MF_POPUP) != 0;
        if (!popup) item.id = cursor.Word();
        item.text = cursor.Text();
        if (popup) ReadMenuLevel(cursor, item.children);
        bool const last = (item.flags & kMenuEndFlag) != 0;
        level.push_back(std::move(item));
        if (last) return;
    }
}

void Flatten(std::vector<MenuItem> const& level, std::wstring const& path,
             std::vector<std::wstring>& out) {
    WORD const structuralFlags = MF_POPUP | MF_END;
    for (MenuItem const& item : level) {
        if (item.flags & MF_POPUP) {
            Flatten(item.children, path + item.text + L"/", out);
            continue;
        }
        std::wstring line = path;
        WORD state = item.flags & ~structuralFlags;
        if ((state & MF_SEPARATOR) || (item.id == 0 && item.text.empty())) {
            line += L"-";
            state &= ~MF_SEPARATOR;
        } else {
            line += item.text + L"=" + std::to_wstring(item.id);
        }
        if (state != 0) line += L" flags=" + std::to_wstring(state);
        out.push_back(line);
    }
}

}  // namespace

Bytes FindExact(WORD type, WORD id, LANGID language) {
    return Load(::FindResourceExW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(type),
                                  MAKEINTRESOURCEW(id), language));
}

Bytes FindForUser(WORD type, WORD id) {
    return Load(::FindResourceW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                MAKEINTRESOURCEW(type)));
}

std::wstring StringFromBlock(Bytes block, UINT id) {
    UINT const stringsPerBlock = 16;
    Cursor cursor(block);
    for (UINT entry = 0; entry < id % stringsPerBlock; ++entry) {
        WORD const length = cursor.Word();
        cursor.Skip(length * sizeof(WORD));
    }
    std::wstring text(cursor.Word(), L'\0');
    for (wchar_t& c : text) c = static_cast<wchar_t>(cursor.Word());
    return text;
}

std::vector<std::wstring> FlattenMenu(Bytes menu) {
    Cursor cursor(menu);
    if (cursor.Word() != 0) throw std::runtime_error("not a standard menu template");
    cursor.Skip(cursor.Word());  // header extra
    std::vector<MenuItem> top;
    ReadMenuLevel(cursor, top);
    std::vector<std::wstring> out;
    Flatten(top, L"", out);
    return out;
}

Dialog ParseDialogEx(Bytes bytes) {
    Cursor cursor(bytes);
    if (cursor.Word() != 1 || cursor.Word() != kDialogExSignature)
        throw std::runtime_error("not an extended dialog template");
    Dialog dialog;
    cursor.Skip(2 * sizeof(DWORD));  // help id, extended style
    dialog.style = cursor.Dword();
    WORD const controls = cursor.Word();
    cursor.Skip(4 * sizeof(WORD));  // position and size
    cursor.NameOrOrdinal();         // menu
    cursor.NameOrOrdinal();         // class
    dialog.caption = cursor.Text();
    if (dialog.style & DS_SETFONT) {
        cursor.Skip(2 * sizeof(WORD) + 2);  // point size, weight, italic, character set
        dialog.typeface = cursor.Text();
    }
    for (WORD i = 0; i < controls; ++i) {
        cursor.AlignTo(sizeof(DWORD));
        DialogControl control;
        cursor.Skip(2 * sizeof(DWORD));  // help id, extended style
        control.style = cursor.Dword();
        cursor.Skip(4 * sizeof(WORD));   // position and size
        control.id = cursor.Dword();
        control.windowClass = cursor.NameOrOrdinal();
        control.text = cursor.NameOrOrdinal();
        cursor.Skip(cursor.Word());      // creation data
        dialog.controls.push_back(std::move(control));
    }
    return dialog;
}

}  // namespace restest
