// Whether ordinary users can change a program that runs as a service: the
// Service Control Manager starts whatever sits at the registered path, as
// the service's account, so a copy in a folder users can write to (a
// portable one in Downloads) is theirs to replace. The decision walks the
// DACL's entries as plain records; the readers beside it only copy them out
// of the system.
#pragma once

#include <string>
#include <vector>

namespace win32 {

// One entry of a DACL, as the decision needs it.
struct AceRecord {
    std::string sid;          // "S-1-1-0"; empty for a kind of entry that names none we read
    unsigned long mask = 0;
    unsigned char type = 0;   // ACCESS_ALLOWED_ACE_TYPE...
    unsigned char flags = 0;  // INHERIT_ONLY_ACE...
};

// A file's or folder's DACL; `present` false is a null DACL, which lets
// everyone do everything.
struct DaclRecord {
    bool present = true;
    std::vector<AceRecord> aces;
};

enum class FileObjectKind { Folder, File };

// Whether every ordinary user (Everyone, Users, Authenticated Users,
// INTERACTIVE) may change the object: write to it or add to it, rewrite its
// DACL or take it over, and for a file delete it to put another in its place.
bool LetsEveryUserChange(DaclRecord const& dacl, FileObjectKind kind);

// Reads the DACL of the file or folder at `path`. A Win32 error code.
unsigned long ReadFileDacl(std::string const& path, DaclRecord& out);

// What ordinary users can change of the program at `exePath`: `path` names
// its folder, or else the program file itself, or is empty when they can
// change neither. With `error` set, `path` names what could not be read.
struct UserChangeable {
    std::string path;
    unsigned long error = 0;
};
UserChangeable FindUserChangeable(std::string const& exePath);

}  // namespace win32
