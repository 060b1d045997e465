#include "framework/AfxString.h"

#include "framework/WinApp.h"

namespace {

// The string table keeps strings in blocks of sixteen: block n+1 holds ids
// 16n..16n+15, each stored as a length-prefixed UTF-16 string.
constexpr UINT kStringsPerBlock = 16;

}  // namespace

bool AfxLoadStringW(HINSTANCE module, UINT id, std::wstring& text, LANGID language) {
    LPCWSTR blockName = MAKEINTRESOURCEW(id / kStringsPerBlock + 1);
    HRSRC found = language == 0
                      ? ::FindResourceW(module, blockName, MAKEINTRESOURCEW(6))
                      : ::FindResourceExW(module, MAKEINTRESOURCEW(6), blockName, language);
    if (found == nullptr) return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* block = static_cast<const WCHAR*>(loaded ? ::LockResource(loaded) : nullptr);
    if (block == nullptr) return false;
    const WCHAR* end = block + ::SizeofResource(module, found) / sizeof(WCHAR);

    const WCHAR* entry = block;
    for (UINT index = 0; index < id % kStringsPerBlock; ++index) {
        if (entry >= end) return false;
        entry += 1 + *entry;
    }
    if (entry >= end || *entry == 0 || entry + 1 + *entry > end) return false;
    text.assign(entry + 1, *entry);
    return true;
}

std::string AfxWideToCodePage(const std::wstring& text, UINT codePage) {
    if (text.empty()) return {};
    int length = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string converted(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &converted[0],
                          length, nullptr, nullptr);
    return converted;
}

bool AfxLoadStringA(HINSTANCE module, UINT id, std::string& text, UINT codePage,
                    LANGID language) {
    std::wstring wide;
    if (!AfxLoadStringW(module, id, wide, language)) return false;
    text = AfxWideToCodePage(wide, codePage);
    return true;
}

BOOL CString::LoadString(UINT nID) {
    return AfxLoadStringA(AfxGetResourceHandle(), nID, m_str) ? TRUE : FALSE;
}
