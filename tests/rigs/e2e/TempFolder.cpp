#include "tests/rigs/e2e/TempFolder.h"

#include <windows.h>

#include <stdexcept>

#include "win32/UniqueHandle.h"

namespace e2e {

namespace {

void RemoveTree(std::string const& folder) {
    WIN32_FIND_DATAA entry{};
    UniqueFindHandle search(FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (search) {
        do {
            std::string const name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string const path = folder + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search.get(), &entry));
    }
    search.reset();
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

TempFolder::TempFolder(std::string const& label) {
    char base[MAX_PATH] = {};
    DWORD const length = GetTempPathA(MAX_PATH, base);
    if (length == 0 || length >= MAX_PATH) throw std::runtime_error("no temporary folder");
    static unsigned sequence = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = std::string(base) + label + " " +
                                std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(++sequence);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a folder under " + std::string(base));
}

TempFolder::~TempFolder() {
    RemoveTree(path_);
}

std::string TempFolder::CopyIn(std::string const& source, std::string const& name) {
    std::string const target = path_ + "\\" + name;
    if (!CopyFileA(source.c_str(), target.c_str(), TRUE)) {
        throw std::runtime_error("cannot copy " + source + " to " + target + " (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    return target;
}

std::string HostPathToWindows(std::string const& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string converted = "Z:" + path;
    for (char& c : converted) {
        if (c == '/') c = '\\';
    }
    return converted;
}

}  // namespace e2e
