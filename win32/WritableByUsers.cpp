#include "win32/WritableByUsers.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <iterator>

#include "win32/UniqueHandle.h"

namespace win32 {
namespace {

// Groups every ordinary user is in: Everyone, Users, Authenticated Users,
// INTERACTIVE.
char const* const kEveryUsersGroups[] = {"S-1-1-0", "S-1-5-32-545", "S-1-5-11", "S-1-5-4"};

bool IsEveryUsersGroup(std::string const& sid) {
    return std::find(std::begin(kEveryUsersGroups), std::end(kEveryUsersGroups), sid) != std::end(kEveryUsersGroups);
}

// The rights among `mask` that let someone change the object, generic ones
// mapped as the file system maps them.
unsigned long ChangingRights(unsigned long mask, FileObjectKind kind) {
    if (mask & GENERIC_ALL) mask |= FILE_ALL_ACCESS;
    if (mask & GENERIC_WRITE) mask |= FILE_GENERIC_WRITE;
    // On a folder FILE_WRITE_DATA adds a file and FILE_APPEND_DATA a folder.
    unsigned long changing = FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER;
    if (kind == FileObjectKind::File) changing |= DELETE;
    return mask & changing;
}

bool Allows(unsigned char type) {
    return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
}

// The SID of an entry whose layout is the plain one (header, mask, SID).
std::string PlainAceSid(ACE_HEADER const* header) {
    bool const plain = header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE ||
                       header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
                       header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE;
    if (!plain) return std::string();
    auto const* ace = reinterpret_cast<ACCESS_ALLOWED_ACE const*>(header);
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(const_cast<DWORD*>(&ace->SidStart), &text)) return std::string();
    UniqueLocalMemory const textOwner(text);
    return text;
}

std::string FolderOf(std::string const& path) {
    size_t const slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return ".";
    std::string folder = path.substr(0, slash);
    if (folder.empty() || folder.back() == ':') folder += '\\';  // a drive's root
    return folder;
}

}  // namespace

bool LetsEveryUserChange(DaclRecord const& dacl, FileObjectKind kind) {
    if (!dacl.present) return true;
    // In order, as the system checks access: a right denied to these groups
    // stays denied to every user whatever a later entry allows.
    unsigned long denied = 0;
    for (AceRecord const& ace : dacl.aces) {
        if ((ace.flags & INHERIT_ONLY_ACE) || !IsEveryUsersGroup(ace.sid)) continue;
        unsigned long const rights = ChangingRights(ace.mask, kind);
        if (ace.type == ACCESS_DENIED_ACE_TYPE)
            denied |= rights;
        else if (Allows(ace.type) && (rights & ~denied) != 0)
            return true;
    }
    return false;
}

unsigned long ReadFileDacl(std::string const& path, DaclRecord& out) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD const error = ::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                                nullptr, &dacl, nullptr, &descriptor);
    if (error != ERROR_SUCCESS) return error;
    UniqueLocalMemory const descriptorOwner(descriptor);
    out = DaclRecord();
    out.present = dacl != nullptr;
    if (dacl == nullptr) return ERROR_SUCCESS;
    ACL_SIZE_INFORMATION size{};
    if (!::GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) return ::GetLastError();
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) return ::GetLastError();
        auto const* header = static_cast<ACE_HEADER const*>(entry);
        // Every kind of entry starts its mask right after the header.
        out.aces.push_back({PlainAceSid(header), reinterpret_cast<ACCESS_ALLOWED_ACE const*>(header)->Mask,
                            header->AceType, header->AceFlags});
    }
    return ERROR_SUCCESS;
}

UserChangeable FindUserChangeable(std::string const& exePath) {
    struct Object {
        std::string path;
        FileObjectKind kind;
    };
    for (Object const& object : {Object{FolderOf(exePath), FileObjectKind::Folder},
                                 Object{exePath, FileObjectKind::File}}) {
        DaclRecord dacl;
        unsigned long const error = ReadFileDacl(object.path, dacl);
        if (error != ERROR_SUCCESS) return {object.path, error};
        if (LetsEveryUserChange(dacl, object.kind)) return {object.path, ERROR_SUCCESS};
    }
    return {};
}

}  // namespace win32
