#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include "objects/file_error.h"
#include "objects/file_mapping.h"
#include "objects/pdf_text.h"
#include "objects/platform.h"
#include "objects/wide_file_stream.h"
#include "objects/windows_system.h"

namespace verava {
namespace {

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

}  // namespace

std::string WideNameToPath(const std::u16string& fileName) { return UnicodeToUtf8(fileName); }

TBrannockWideFileStream::TBrannockWideFileStream(const std::u16string& fileName, uint16_t mode) {
    const std::wstring path = SystemPath(fileName);
    if (path.empty()) throw EFCreateError();
    if (mode == kFileModeCreate) {
        // Unshared, so a file another program has open keeps its content.
        auto create = [&] {
            return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        HANDLE file = create();
        // A document of this process may still read this very file through a view (saving
        // over the file it was loaded from).
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION &&
            DetachMappingsAt(path)) {
            file = create();
        }
        if (file == INVALID_HANDLE_VALUE) throw EFCreateError();
        LARGE_INTEGER size{};
        // An empty (new) file is left as it is; an old one loses its content.
        if (!GetFileSizeEx(file, &size) || (size.QuadPart != 0 && !SetEndOfFile(file))) {
            CloseHandle(file);
            throw EFCreateError();
        }
        handle_ = AdoptHandle(file);
        if (handle_ < 0) throw EFCreateError();
        return;
    }
    const int access = mode & 0x3;
    const int sharing = (mode >> 4) & 0xF;
    if (access == 3 || sharing > 4) throw EFCreateError();
    const DWORD rights = access == 0   ? GENERIC_READ
                         : access == 1 ? GENERIC_WRITE
                                       : GENERIC_READ | GENERIC_WRITE;
    DWORD share = 0;  // 0 (compatibility) and 1 (exclusive)
    if (sharing == 2) share = FILE_SHARE_READ;
    if (sharing == 3) share = FILE_SHARE_WRITE;
    if (sharing == 4) share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open.
    HANDLE file = CreateFileW(path.c_str(), rights, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw EFCreateError();
    handle_ = AdoptHandle(file);
    if (handle_ < 0) throw EFCreateError();
}

TBrannockWideFileStream::~TBrannockWideFileStream() { Close(); }

SharedBytes TBrannockWideFileStream::MapAll() const { return TFileMapping::Map(handle_); }

std::unique_ptr<TBrannockWideFileStream> TBrannockWideFileStream::Adopt(int handle) {
    std::unique_ptr<TBrannockWideFileStream> stream(new TBrannockWideFileStream());
    stream->handle_ = handle;
    return stream;
}

void TBrannockWideFileStream::Close() {
    if (handle_ >= 0) {
        _close(handle_);  // closes the system's handle too
        handle_ = -1;
    }
}

int TBrannockWideFileStream::CloseChecked() {
    if (handle_ < 0) return 0;
    const int answer = _close(handle_);
    handle_ = -1;
    return answer != 0 ? errno : 0;
}

int64_t TBrannockWideFileStream::Read(void* buffer, int64_t count) {
    if (handle_ < 0 || count <= 0) return 0;
    auto* p = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const DWORD ask = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
        DWORD got = 0;
        if (!ReadFile(HandleOf(handle_), p + done, ask, &got, nullptr)) {
            lastError_ = ErrnoFromWindows(GetLastError());
            return done;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

// Windows has no call that only starts the writing of a range; the final FlushFileBuffers
// writes everything.
void TBrannockWideFileStream::WroteAt(int64_t) {}

int64_t TBrannockWideFileStream::Write(const void* buffer, int64_t count) {
    if (handle_ < 0 || count <= 0) return 0;
    const auto* p = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const DWORD ask = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
        DWORD put = 0;
        if (!WriteFile(HandleOf(handle_), p + done, ask, &put, nullptr)) {
            lastError_ = ErrnoFromWindows(GetLastError());
            return done;
        }
        if (put == 0) {
            // Nothing taken and no reason given: asking again would never end.
            lastError_ = EIO;
            return done;
        }
        done += put;
    }
    return done;
}

// No file-to-file copy: the caller writes the bytes (stream.h).
int64_t TBrannockWideFileStream::CopyFileRange(int, int64_t, int64_t) { return 0; }

int64_t TBrannockWideFileStream::Seek(int64_t offset, SeekOrigin origin) {
    if (handle_ < 0) return -1;
    DWORD method = FILE_BEGIN;
    if (origin == SeekOrigin::Current) method = FILE_CURRENT;
    if (origin == SeekOrigin::End) method = FILE_END;
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER at{};
    if (!SetFilePointerEx(HandleOf(handle_), distance, &at, method)) return -1;
    return at.QuadPart;
}

int64_t TBrannockWideFileStream::Size() {
    LARGE_INTEGER size{};
    if (handle_ < 0 || !GetFileSizeEx(HandleOf(handle_), &size)) return 0;
    return size.QuadPart;
}

void TBrannockWideFileStream::SetSize(int64_t size) {
    if (handle_ < 0 || Seek(size, SeekOrigin::Beginning) != size ||
        !SetEndOfFile(HandleOf(handle_))) {
        throw EStreamError("Error");
    }
}

std::unique_ptr<TBrannockWideFileStream> CreateScratchFile() {
    // The user's own temporary folder, which other users cannot look into; the system
    // deletes the file when its handle closes, whatever happens to the process.
    const std::u16string folder = TempPath();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::u16string name = folder + u"verava-";
        for (unsigned char b : RandomBytes(8)) name += u"0123456789abcdef"[b & 15];
        name += u".scratch";
        HANDLE file =
            CreateFileW(SystemPath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS) continue;
            throw EFileError(TFileError::FromErrno(ErrnoFromWindows(error), TFileStep::Scratch));
        }
        const int fd = AdoptHandle(file);
        if (fd < 0) throw EFileError(TFileError::FromErrno(EMFILE, TFileStep::Scratch));
        return TBrannockWideFileStream::Adopt(fd);
    }
    throw EFileError(TFileError::FromErrno(EEXIST, TFileStep::Scratch));
}

bool FileExistsWide(const std::u16string& fileName) {
    const std::wstring path = SystemPath(fileName);
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool SameFileWide(const std::u16string& a, const std::u16string& b) {
    auto identity = [](const std::u16string& name, FileIdentity& id) {
        const std::wstring path = SystemPath(name);
        if (path.empty()) return false;
        HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        const bool known = IdentityOf(file, id);
        CloseHandle(file);
        return known;
    };
    FileIdentity idA;
    FileIdentity idB;
    return identity(a, idA) && identity(b, idB) && idA == idB;
}

bool DeleteFileWide(const std::u16string& fileName) {
    const std::wstring path = SystemPath(fileName);
    return !path.empty() && DeleteFileW(path.c_str()) != 0;
}

std::u16string TempPath() {
    wchar_t buffer[MAX_PATH + 2] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    std::u16string path = length > 0 && length <= MAX_PATH + 1
                              ? std::u16string(buffer, buffer + length)
                              : std::u16string(u".\\");
    if (path.back() != u'\\' && path.back() != u'/') path.push_back(u'\\');
    return path;
}

}  // namespace verava
