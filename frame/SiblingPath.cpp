#include "frame/SiblingPath.h"

#include <cstring>

char const kConfigurationProgram[] = "Dellomark.exe";

size_t FolderPartLength(char const* path, UINT codePage) {
    size_t folder = 0;
    size_t at = 0;
    while (path[at] != '\0') {
        if (path[at] == '\\') {
            folder = at + 1;
            ++at;
        } else if (::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(path[at])) && path[at + 1] != '\0') {
            at += 2;  // lead and trail byte are one character
        } else {
            ++at;
        }
    }
    return folder;
}

bool ComposeSiblingPath(char const* modulePath, char const* fileName, UINT codePage,
                        char (&out)[kPathBufferSize]) {
    size_t folder = FolderPartLength(modulePath, codePage);
    size_t name = std::strlen(fileName);
    if (folder + name + 1 > kPathBufferSize) return false;
    std::memcpy(out, modulePath, folder);
    std::memcpy(out + folder, fileName, name + 1);
    return true;
}
