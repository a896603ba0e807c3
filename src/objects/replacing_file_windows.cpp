#include <io.h>

#include <atomic>
#include <cerrno>
#include <cwchar>
#include <vector>

#include "objects/pdf_text.h"
#include "objects/replacing_file.h"
#include "objects/temporary_name.h"
#include "objects/windows_system.h"

// Windows' form: the new file always has a name (Windows has no O_TMPFILE), is written under
// no sharing, forced to disk with FlushFileBuffers and put in place by MoveFileExW with
// MOVEFILE_WRITE_THROUGH, which returns once the move itself is on disk (there is no folder
// to sync). Symbolic links are not followed: the link itself is replaced. The members kept
// for the POSIX form's folder descriptor and O_TMPFILE stay unused here.
namespace verava {
namespace {

// New files that have a name right now, for the console's Ctrl+C handler to remove.
constexpr size_t kPendingPath = 4096;
struct PendingTemporary {
    std::atomic<bool> claimed{false};
    std::atomic<bool> published{false};
    wchar_t path[kPendingPath] = {};
};
PendingTemporary gPending[16];

int Publish(const std::wstring& path) {
    if (path.size() >= kPendingPath) return -1;
    for (int slot = 0; slot < 16; ++slot) {
        if (gPending[slot].claimed.exchange(true)) continue;
        wmemcpy(gPending[slot].path, path.c_str(), path.size() + 1);
        gPending[slot].published.store(true);
        return slot;
    }
    return -1;  // more outputs at once than slots: that one is left to the next run's sweep
}

void Withdraw(int slot) {
    if (slot < 0) return;
    gPending[slot].published.store(false);
    gPending[slot].claimed.store(false);
}

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = Utf8ToUnicode(utf8);
    return std::wstring(text.begin(), text.end());
}

std::string Utf8(const std::wstring& wide) {
    return UnicodeToUtf8(std::u16string(wide.begin(), wide.end()));
}

TFileError LastError(TFileStep step) {
    return TFileError::FromErrno(ErrnoFromWindows(GetLastError()), step);
}

// Removes the temporaries of `name` in `folder` left by a writer that is gone: a live writer
// holds its file open unshared, so only a dead one's opens for deleting.
void RemoveStale(const std::wstring& folder, const std::string& name) {
    const std::string prefix = TemporaryPrefix(name);
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW((folder + Wide(prefix) + L"*.part").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> found;
    do {
        if (IsTemporaryOf(Utf8(entry.cFileName), prefix)) found.emplace_back(entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    for (const std::wstring& stale : found) {
        HANDLE file =
            CreateFileW((folder + stale).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
}

}  // namespace

TReplacingFile::TReplacingFile(const std::u16string& target) {
    if (target.empty()) throw EFileError(TFileError::FromErrno(ENOENT, TFileStep::Create));
    if (target.back() == u'\\' || target.back() == u'/') {
        throw EFileError(TFileError{TFileProblem::Folder});
    }
    finalPath_ = WideNameToPath(target);
    const std::wstring path = SystemPath(target);
    const size_t slash = path.find_last_of(L"\\/");
    // "C:name" is relative to drive C's current folder; "" is this one.
    const size_t colon = path.size() >= 2 && path[1] == L':' ? 1 : std::wstring::npos;
    const size_t cut = slash != std::wstring::npos ? slash : colon;
    const std::wstring folder = cut == std::wstring::npos ? L"" : path.substr(0, cut + 1);
    const std::wstring name = cut == std::wstring::npos ? path : path.substr(cut + 1);
    if (name.empty() || name == L"." || name == L"..") {
        throw EFileError(TFileError{TFileProblem::Folder});
    }
    name_ = Utf8(name);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            throw EFileError(TFileError{TFileProblem::Folder});
        }
        // A program writing the output, or keeping others from reading it, holds it open
        // without sharing that: replacing it under that program would lose what it writes.
        HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_SHARING_VIOLATION && !DetachMappingsAt(path)) {
                throw EFileError(TFileError::FromErrno(EWOULDBLOCK, TFileStep::Create));
            }
        } else {
            // Devices (NUL, COM1) answer to names in every folder; they are no file to keep.
            const bool disk = GetFileType(held) == FILE_TYPE_DISK;
            CloseHandle(held);
            if (!disk) throw EFileError(TFileError{TFileProblem::NotRegularFile});
        }
    }
    RemoveStale(folder, name_);
    const std::string prefix = TemporaryPrefix(name_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring candidate = folder + Wide(TemporaryName(prefix));
        HANDLE file = CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            throw EFileError(LastError(TFileStep::Create));
        }
        const int fd = AdoptHandle(file);
        if (fd < 0) {
            DeleteFileW(candidate.c_str());
            throw EFileError(TFileError::FromErrno(EMFILE, TFileStep::Create));
        }
        tempName_ = Utf8(candidate);
        pendingSlot_ = Publish(candidate);
        stream_ = TBrannockWideFileStream::Adopt(fd);
        return;
    }
    throw EFileError(TFileError::FromErrno(EEXIST, TFileStep::Create));
}

TReplacingFile::~TReplacingFile() {
    if (!committed_) RemoveTemporary();
    stream_.reset();
}

bool TReplacingFile::Fail(int code, TFileStep step) {
    error_ = TFileError::FromErrno(code, step);
    RemoveTemporary();
    return false;
}

void TReplacingFile::RemoveTemporary() {
    // Closed first: Windows deletes no file that is open unshared.
    stream_.reset();
    if (!tempName_.empty()) {
        DeleteFileW(Wide(tempName_).c_str());
        Withdraw(pendingSlot_);
        pendingSlot_ = -1;
        tempName_.clear();
    }
}

bool TReplacingFile::Commit() {
    if (committed_) return true;
    if (!stream_) return false;
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(stream_->Handle()));
    if (!FlushFileBuffers(file)) return Fail(ErrnoFromWindows(GetLastError()), TFileStep::Sync);
    if (const int error = stream_->CloseChecked(); error != 0) return Fail(error, TFileStep::Sync);
    stream_.reset();
    const std::wstring from = Wide(tempName_);
    const std::wstring to = SystemPath(Utf8ToUnicode(finalPath_));
    // Hidden while it had no place; moved as it is, the output would stay hidden in Explorer.
    if (!SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_NORMAL)) {
        return Fail(ErrnoFromWindows(GetLastError()), TFileStep::Replace);
    }
    auto move = [&] {
        return MoveFileExW(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    };
    bool moved = move();
    // The output may be the file a document of this process still reads through a view.
    if (!moved &&
        (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_SHARING_VIOLATION ||
         GetLastError() == ERROR_USER_MAPPED_FILE) &&
        DetachMappingsAt(to)) {
        moved = move();
    }
    if (!moved) {
        const TFileError error = LastError(TFileStep::Replace);
        RemoveTemporary();
        error_ = error;
        return false;
    }
    Withdraw(pendingSlot_);
    pendingSlot_ = -1;
    tempName_.clear();
    committed_ = true;
    return true;
}

// Windows' new files always have a name.
ScopedNamedTemporaries::ScopedNamedTemporaries() {}
ScopedNamedTemporaries::~ScopedNamedTemporaries() {}

void RemovePendingTemporaries() noexcept {
    for (PendingTemporary& slot : gPending) {
        if (slot.published.load()) DeleteFileW(slot.path);
    }
}

}  // namespace verava
