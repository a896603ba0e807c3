#include <io.h>

#include <atomic>
#include <cstring>

#include "app/watch_platform.h"
#include "objects/pdf_text.h"
#include "objects/platform_system.h"
#include "objects/windows_system.h"

// Windows' form polls the folder (every 10 s unless --poll says otherwise); folder events
// (ReadDirectoryChangesW) are for later. Durable steps use FlushFileBuffers and
// MOVEFILE_WRITE_THROUGH: Windows has no folder to sync.
namespace verava {
namespace {

std::string ReasonOf(DWORD code) { return SystemErrorText(ErrnoFromWindows(code)); }
std::string SystemError(const std::string& what) { return what + ": " + ReasonOf(GetLastError()); }

std::wstring PathOf(const std::string& utf8) { return SystemPath(Utf8ToUnicode(utf8)); }

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TempBeside(const std::string& path) {
    return FolderOf(path) + "/." + NameOf(path) + ".verava-part";
}

int64_t Milliseconds(const FILETIME& time) {
    // FILETIME counts 100 ns steps from 1601; the watcher's clock is Unix milliseconds.
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>((ticks - 116444736000000000ULL) / 10000);
}

bool WriteAll(HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        const DWORD ask = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD put = 0;
        if (!WriteFile(file, data, ask, &put, nullptr) || put == 0) return false;
        data += put;
        size -= put;
    }
    return true;
}

HANDLE OpenToRead(const std::string& path) {
    return CreateFileW(PathOf(path).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Copies `from` to `to` (which must not exist) and forces the copy to disk.
std::string CopyDurably(const std::string& from, const std::string& to) {
    if (!CopyFileExW(PathOf(from).c_str(), PathOf(to).c_str(), nullptr, nullptr, nullptr,
                     COPY_FILE_FAIL_IF_EXISTS)) {
        return SystemError("cannot copy " + from + " to " + to);
    }
    HANDLE copy = CreateFileW(PathOf(to).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool flushed = copy != INVALID_HANDLE_VALUE && FlushFileBuffers(copy);
    const std::string error = flushed ? "" : SystemError("cannot write " + to);
    if (copy != INVALID_HANDLE_VALUE) CloseHandle(copy);
    if (!flushed) DeleteFileW(PathOf(to).c_str());
    return error;
}

std::atomic<bool> stopRequested{false};
HANDLE stopEvent = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
    stopRequested = true;
    if (stopEvent != nullptr) SetEvent(stopEvent);
    // Handled: the watcher finishes the job in hand and ends by itself.
    return TRUE;
}

}  // namespace

int64_t WatchNowMs() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return Milliseconds(now);
}

std::vector<WatchEntry> ListWatchFolder(const std::string& folder) {
    std::vector<WatchEntry> entries;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((PathOf(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring name(found.cFileName);
        if (name == L"." || name == L"..") continue;
        WatchEntry entry;
        entry.name = UnicodeToUtf8(std::u16string(name.begin(), name.end()));
        // A link is not a scan: one dropped into a shared folder would have the watcher
        // merge whatever it points at into a file others can read.
        entry.regular =
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                       FILE_ATTRIBUTE_DEVICE)) == 0;
        entry.size = static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) |
                                          found.nFileSizeLow);
        entry.mtimeMs = Milliseconds(found.ftLastWriteTime);
        entries.push_back(std::move(entry));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

// No systemd journal here: lines go out as they are.
bool StandardErrorIsJournal() { return false; }

bool WatchPathExists(const std::string& path) {
    return GetFileAttributesW(PathOf(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SameWatchFolder(const std::string& a, const std::string& b) {
    auto identity = [](const std::string& path, FileIdentity& id) {
        HANDLE folder = CreateFileW(PathOf(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (folder == INVALID_HANDLE_VALUE) return false;
        const bool known = IdentityOf(folder, id);
        CloseHandle(folder);
        return known;
    };
    FileIdentity idA;
    FileIdentity idB;
    return identity(a, idA) && identity(b, idB) && idA == idB;
}

int64_t WatchFileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(PathOf(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                data.nFileSizeLow);
}

bool EndsWithEofLine(const std::string& path) {
    HANDLE file = OpenToRead(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    char tail[1024];
    LARGE_INTEGER size{};
    DWORD got = 0;
    bool read = GetFileSizeEx(file, &size) && size.QuadPart > 0;
    if (read) {
        LARGE_INTEGER start{};
        start.QuadPart = size.QuadPart > static_cast<LONGLONG>(sizeof tail)
                             ? size.QuadPart - static_cast<LONGLONG>(sizeof tail)
                             : 0;
        read =
            SetFilePointerEx(file, start, nullptr, FILE_BEGIN) &&
            ReadFile(file, tail, static_cast<DWORD>(size.QuadPart - start.QuadPart), &got, nullptr);
    }
    CloseHandle(file);
    if (!read || got == 0) return false;
    return TailEndsWithEofLine(std::string_view(tail, got));
}

std::string EnsureWatchFolder(const std::string& folder) {
    if (CreateDirectoryW(PathOf(folder).c_str(), nullptr)) return "";
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(PathOf(folder).c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "";
    }
    return "cannot create folder " + folder + ": " + ReasonOf(error);
}

std::string WriteFileDurably(const std::string& path, const std::string& text) {
    const std::string temp = TempBeside(path);
    HANDLE file = CreateFileW(PathOf(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return SystemError("cannot write " + temp);
    const bool written = WriteAll(file, text.data(), text.size()) && FlushFileBuffers(file);
    const DWORD writeError = GetLastError();
    CloseHandle(file);
    // The final name is not hidden: the attribute goes before the move.
    if (!written || !SetFileAttributesW(PathOf(temp).c_str(), FILE_ATTRIBUTE_NORMAL) ||
        !MoveFileExW(PathOf(temp).c_str(), PathOf(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const std::string error =
            "cannot write " + path + ": " + ReasonOf(written ? GetLastError() : writeError);
        DeleteFileW(PathOf(temp).c_str());
        return error;
    }
    return "";
}

std::string MoveFileDurably(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING a file at `to` is never replaced.
    if (MoveFileExW(PathOf(from).c_str(), PathOf(to).c_str(), MOVEFILE_WRITE_THROUGH)) return "";
    if (GetLastError() != ERROR_NOT_SAME_DEVICE) {
        return SystemError("cannot move " + from + " to " + to);
    }
    // Another volume: the copy takes the name only once complete on disk, so a crash leaves
    // either the source alone (and a hidden part to remove) or both whole.
    const std::string temp = TempBeside(to);
    DeleteFileW(PathOf(temp).c_str());
    if (std::string error = CopyDurably(from, temp); !error.empty()) return error;
    if (!MoveFileExW(PathOf(temp).c_str(), PathOf(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        const std::string error = SystemError("cannot move " + from + " to " + to);
        DeleteFileW(PathOf(temp).c_str());
        return error;
    }
    if (!DeleteFileW(PathOf(from).c_str())) return SystemError("cannot remove " + from);
    return "";
}

bool SameFileContent(const std::string& a, const std::string& b) {
    if (WatchFileSize(a) < 0 || WatchFileSize(a) != WatchFileSize(b)) return false;
    HANDLE fa = OpenToRead(a);
    HANDLE fb = OpenToRead(b);
    bool same = fa != INVALID_HANDLE_VALUE && fb != INVALID_HANDLE_VALUE;
    static thread_local char ba[1 << 15];
    static thread_local char bb[1 << 15];
    while (same) {
        DWORD na = 0;
        if (!ReadFile(fa, ba, sizeof ba, &na, nullptr)) same = false;
        DWORD nb = 0;
        while (same && nb < na) {
            DWORD n = 0;
            if (!ReadFile(fb, bb + nb, na - nb, &n, nullptr) || n == 0) break;
            nb += n;
        }
        if (nb != na || std::memcmp(ba, bb, na) != 0) same = false;
        if (na == 0) break;
    }
    if (fa != INVALID_HANDLE_VALUE) CloseHandle(fa);
    if (fb != INVALID_HANDLE_VALUE) CloseHandle(fb);
    return same;
}

WatchAppendFile::~WatchAppendFile() {
    if (fd_ >= 0) _close(fd_);
}

std::string WatchAppendFile::Open(const std::string& path, std::string& content) {
    path_ = path;
    // Shared with readers only: a second watcher of the folder cannot open it.
    HANDLE file = CreateFileW(PathOf(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION
                   ? "another verava-cli watch is using " + path
                   : SystemError("cannot open " + path);
    }
    fd_ = AdoptHandle(file);
    if (fd_ < 0) return "cannot open " + path;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        return "cannot use " + path + ": not a plain file; move it away";
    }
    content.clear();
    char buffer[1 << 15];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
            return SystemError("cannot read " + path);
        }
        if (n == 0) break;
        content.append(buffer, n);
        if (static_cast<int64_t>(content.size()) > kWatchJournalLimit) {
            return "cannot use " + path +
                   ": larger than a journal of open jobs can be; move it away";
        }
    }
    return "";
}

std::string WatchAppendFile::Append(const std::string& line) {
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file, zero, nullptr, FILE_END) ||
        !WriteAll(file, line.data(), line.size()) || !FlushFileBuffers(file)) {
        return SystemError("cannot write " + path_);
    }
    return "";
}

std::string WatchAppendFile::Replace(const std::string& content) {
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) {
        return SystemError("cannot write " + path_);
    }
    return Append(content);
}

WatchEvents::~WatchEvents() = default;

std::string WatchEvents::Open(const std::string& folder, int64_t pollSeconds) {
    pollMs_ = (pollSeconds > 0 ? pollSeconds : 10) * 1000;
    description_ = "polling every " + std::to_string(pollMs_ / 1000) + " s";
    return "";
}

void WatchEvents::Wait(int64_t timeoutMs) {
    if (timeoutMs < 0 || timeoutMs > pollMs_) timeoutMs = pollMs_;
    if (WatchStopRequested()) return;
    if (stopEvent != nullptr) {
        WaitForSingleObject(stopEvent, static_cast<DWORD>(timeoutMs));
    } else {
        Sleep(static_cast<DWORD>(timeoutMs));
    }
}

void InstallWatchStopHandlers() {
    if (stopEvent == nullptr) stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool WatchStopRequested() { return stopRequested; }

}  // namespace verava
