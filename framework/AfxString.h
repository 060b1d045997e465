// An 8-bit string with MFC's shape, and the string-table loader behind it.
// Texts are stored as UTF-16 in the string table and handed out in the
// ANSI code page of the running thread, as the "A" functions expect.
#pragma once

#include <windows.h>

#include <string>

class CString {
public:
    CString() = default;
    CString(char const* text) : m_str(text != nullptr ? text : "") {}  // NOLINT: implicit like MFC
    explicit CString(std::string text) : m_str(std::move(text)) {}

    // Replaces the text with string `nID` of the resource module. A missing
    // id returns FALSE and leaves the text as it was.
    BOOL LoadString(UINT nID);

    char const* GetString() const { return m_str.c_str(); }
    operator char const*() const { return m_str.c_str(); }  // NOLINT: implicit like MFC
    std::string const& str() const { return m_str; }
    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }


private:
    std::string m_str;
};

// Finds string `id` in `module`'s string table and converts it to
// `codePage` (CP_THREAD_ACP: the running thread's). With `language` 0 the
// system chooses among the languages present, as for any resource lookup;
// otherwise exactly that language is used. Returns false when the id is
// absent (`text` is then left as it was).
bool AfxLoadStringA(HINSTANCE module, UINT id, std::string& text, UINT codePage = CP_THREAD_ACP,
                    LANGID language = 0);

