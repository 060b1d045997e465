#include "configurator/CaFile.h"

#include <commdlg.h>

#include <utility>

#include "win32/UniqueHandle.h"

namespace dellomark {

bool ChooseCaFile(HWND owner, std::string const& filter, ChosenFile& out) {
    // The dialog wants a NUL after each and two at the end. In code page
    // 932 a '|' can be the second byte of a character: skip those.
    std::string filters = filter + '|';
    for (size_t i = 0; i < filters.size(); ++i) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(filters[i])))
            ++i;
        else if (filters[i] == '|')
            filters[i] = '\0';
    }
    char path[MAX_PATH] = {};
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!::GetOpenFileNameA(&dialog)) return false;
    out.path = path;
    out.name = path + dialog.nFileOffset;  // the dialog knows where the name starts, double bytes and all
    return true;
}

bool ReadCaFile(std::string const& path, std::string& text) {
    UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    // One byte more than a certificate may take tells a file that is too large.
    std::string read(kMaxCaFileBytes + 1, '\0');
    DWORD got = 0;
    if (!file || !::ReadFile(file.get(), &read[0], kMaxCaFileBytes + 1, &got, nullptr) || got > kMaxCaFileBytes)
        return false;
    read.resize(got);
    text = std::move(read);
    return true;
}

}  // namespace dellomark
