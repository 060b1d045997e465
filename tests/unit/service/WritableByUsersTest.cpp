// Which DACLs let every ordinary user change the folder or the file the
// service would run from: the entries Windows really puts there, which Wine's
// Unix-mode DACLs never show.
#include <windows.h>

#include <gtest/gtest.h>

#include "win32/WritableByUsers.h"

namespace {

using win32::AceRecord;
using win32::DaclRecord;

char const kEveryone[] = "S-1-1-0";
char const kUsers[] = "S-1-5-32-545";
char const kAuthenticatedUsers[] = "S-1-5-11";
char const kInteractive[] = "S-1-5-4";
char const kAdministrators[] = "S-1-5-32-544";
char const kOneUser[] = "S-1-5-21-1-2-3-1001";
auto const kFolder = win32::FileObjectKind::Folder;
auto const kFile = win32::FileObjectKind::File;
unsigned long const kModify = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;

AceRecord Allow(char const* sid, unsigned long mask, unsigned char flags = 0) {
    return {sid, mask, ACCESS_ALLOWED_ACE_TYPE, flags};
}
AceRecord Deny(char const* sid, unsigned long mask) { return {sid, mask, ACCESS_DENIED_ACE_TYPE, 0}; }

// Program Files as Windows sets it up: users read and run, and the entries
// that give creators their own files only apply to what is created inside.
DaclRecord ProgramFiles(std::vector<AceRecord> const& more = {}) {
    DaclRecord dacl{true,
                    {Allow("S-1-5-18", FILE_ALL_ACCESS), Allow(kAdministrators, FILE_ALL_ACCESS),
                     Allow(kUsers, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE),
                     Allow("S-1-3-0", GENERIC_ALL, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE),
                     Allow(kEveryone, GENERIC_ALL, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE)}};
    dacl.aces.insert(dacl.aces.end(), more.begin(), more.end());
    return dacl;
}

TEST(ServiceProgramPlace, OnlyWhatEveryUserMayChangeIsRefused) {
    struct Case {
        char const* what;
        DaclRecord dacl;
        win32::FileObjectKind kind;
        bool changeable;
    } const cases[] = {
        {"Program Files", ProgramFiles(), kFolder, false},
        {"a user's own Downloads", {true, {Allow(kOneUser, FILE_ALL_ACCESS)}}, kFolder, false},
        {"Authenticated Users may modify", ProgramFiles({Allow(kAuthenticatedUsers, kModify)}), kFolder, true},
        {"Users may add a file", ProgramFiles({Allow(kUsers, FILE_ADD_FILE)}), kFolder, true},
        {"INTERACTIVE, generic write", ProgramFiles({Allow(kInteractive, GENERIC_WRITE)}), kFile, true},
        {"Everyone may rewrite the DACL", ProgramFiles({Allow(kEveryone, WRITE_DAC)}), kFile, true},
        {"Users may take ownership", ProgramFiles({Allow(kUsers, WRITE_OWNER)}), kFolder, true},
        {"Users may delete the file", ProgramFiles({Allow(kUsers, DELETE)}), kFile, true},
        {"deleting a folder puts nothing in it", ProgramFiles({Allow(kUsers, DELETE)}), kFolder, false},
        {"write denied to Everyone first", {true, {Deny(kEveryone, FILE_GENERIC_WRITE), Allow(kUsers, kModify)}},
         kFolder, false},
        {"denied only once allowed", {true, {Allow(kUsers, FILE_ADD_FILE), Deny(kEveryone, FILE_ADD_FILE)}}, kFolder,
         true},
        {"a null DACL", {false, {}}, kFile, true},
    };
    for (Case const& c : cases) EXPECT_EQ(c.changeable, win32::LetsEveryUserChange(c.dacl, c.kind)) << c.what;
}

}  // namespace
