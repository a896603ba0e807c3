// What the Windows forms of the file layer share (only *_windows.cpp include this): a UTF-16
// name as the path the system takes, long ones in their "\\?\" form; the system's error
// codes as the errno values TFileError words; a file's identity, the inode of Windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace verava {

// `fileName` as CreateFileW takes it. A name of MAX_PATH or more (less the room a folder
// needs for its 8.3 entries) is made absolute and given the "\\?\" (or "\\?\UNC\") prefix,
// which lifts the limit; shorter names are left as they are, relative ones too. Empty for an
// empty name or one holding a NUL.
std::wstring SystemPath(const std::u16string& fileName);

// The errno value closest to a GetLastError() code (ERROR_DISK_FULL -> ENOSPC); EIO when
// none is close.
int ErrnoFromWindows(DWORD code);

struct FileIdentity {
    DWORD volume = 0;
    uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};
// False when the system cannot say (not a file on a disk).
bool IdentityOf(HANDLE file, FileIdentity& identity);

// A C library descriptor owning `file` (the stream's handles are descriptors on every
// system); closes `file` and answers -1 when none can be made.
int AdoptHandle(HANDLE file);

// Views this process holds of the file at `path` keep it from being truncated, replaced or
// opened unshared; they are turned into private copies (file_mapping.h). True when there
// were any.
bool DetachMappingsAt(const std::wstring& path);

}  // namespace verava
