#include "framework/AfxString.h"

#include "framework/WinApp.h"

namespace {

// The string table keeps strings in blocks of sixteen: block n+1 holds ids
// 16n..16n+15, each stored as a length-prefixed UTF-16 string.
constexpr UINT kStringsPerBlock = 16;

}  // namespace

namespace {

// The string's UTF-16 text inside the loaded resource, or null when the id
// is not there. Found strings are never empty: the table has no such entry.
// RT_STRING in the W form, which windows.h spells only in the A form here.
LPCWSTR const kStringTableType = MAKEINTRESOURCEW(reinterpret_cast<ULONG_PTR>(RT_STRING));

WCHAR const* FindString(HINSTANCE module, UINT id, LANGID language, int& length) {
    LPCWSTR blockName = MAKEINTRESOURCEW(id / kStringsPerBlock + 1);
    HRSRC found = language == 0 ? ::FindResourceW(module, blockName, kStringTableType)
                                : ::FindResourceExW(module, kStringTableType, blockName, language);
    if (found == nullptr) return nullptr;
    HGLOBAL loaded = ::LoadResource(module, found);
    auto const* block = static_cast<WCHAR const*>(loaded ? ::LockResource(loaded) : nullptr);
    if (block == nullptr) return nullptr;
    WCHAR const* end = block + ::SizeofResource(module, found) / sizeof(WCHAR);

    WCHAR const* entry = block;
    for (UINT index = 0; index < id % kStringsPerBlock; ++index) {
        if (entry >= end) return nullptr;
        entry += 1 + *entry;
    }
    if (entry >= end || *entry == 0 || entry + 1 + *entry > end) return nullptr;
    length = *entry;
    return entry + 1;
}

std::string WideToCodePage(WCHAR const* text, int length, UINT codePage) {
    if (length <= 0) return {};
    int size = ::WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string converted(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, text, length, &converted[0], size, nullptr, nullptr);
    return converted;
}

}  // namespace

// Converts straight from the resource: the program itself has no use for
// wide strings.
bool AfxLoadStringA(HINSTANCE module, UINT id, std::string& text, UINT codePage,
                    LANGID language) {
    int length = 0;
    WCHAR const* found = FindString(module, id, language, length);
    if (found == nullptr) return false;
    text = WideToCodePage(found, length, codePage);
    return true;
}

BOOL CString::LoadString(UINT nID) {
    return AfxLoadStringA(AfxGetResourceHandle(), nID, m_str) ? TRUE : FALSE;
}
