#include "eventlog/WindowsFileChecks.h"

#include <aclapi.h>

#include <vector>

namespace {

bool tokenHas(TOKEN_INFORMATION_CLASS kind, PSID owner)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    bool found = false;
    if (size > 0 && GetTokenInformation(token, kind, buffer.data(), size, &size)) {
        const PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                           : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
        found = EqualSid(sid, owner) != FALSE;
    }
    CloseHandle(token);
    return found;
}

// Files that an elevated run of the same user created belong to the administrators, who could read
// any file anyway; what must not be taken is a file that another ordinary user planted.
bool isTrustedOwner(PSID owner)
{
    for (WELL_KNOWN_SID_TYPE type : {WinBuiltinAdministratorsSid, WinLocalSystemSid}) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof sid;
        if (CreateWellKnownSid(type, nullptr, sid, &size) && EqualSid(sid, owner))
            return true;
    }
    return tokenHas(TokenUser, owner) || tokenHas(TokenOwner, owner);
}

} // namespace

bool isOwnSingleFile(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        info.nNumberOfLinks != 1)
        return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                        nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return false;
    // A file system without owners (FAT on a memory stick) has nobody else's files either.
    const bool mine = owner == nullptr || isTrustedOwner(owner);
    LocalFree(descriptor);
    return mine;
}

bool sameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION x{};
    BY_HANDLE_FILE_INFORMATION y{};
    return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}
