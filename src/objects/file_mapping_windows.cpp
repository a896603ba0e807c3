#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "objects/file_mapping.h"
#include "objects/windows_system.h"

namespace verava {
namespace {

struct Mapping {
    void* address = nullptr;
    size_t length = 0;  // the file's size
    FileIdentity identity;
    HANDLE section = nullptr;  // the file's section while the view shows the file
    int fd = -1;               // the file, open for reading while the view shows it
    bool detached = false;
};

// The process's live mappings, so that creating an output over a mapped file can detach
// them first: Windows refuses to truncate, replace or delete a file while a view of it
// lives. Guarded because mappings may be freed on any thread.
std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

std::vector<Mapping*>& Registry() {
    static std::vector<Mapping*> live;
    return live;
}

class MappingOwner {
  public:
    explicit MappingOwner(Mapping m) : mapping_(m) {
        std::lock_guard<std::mutex> guard(RegistryLock());
        Registry().push_back(&mapping_);
    }
    ~MappingOwner() {
        {
            std::lock_guard<std::mutex> guard(RegistryLock());
            auto& live = Registry();
            live.erase(std::remove(live.begin(), live.end(), &mapping_), live.end());
        }
        UnmapViewOfFile(mapping_.address);
        if (mapping_.section != nullptr) CloseHandle(mapping_.section);
        if (mapping_.fd >= 0) _close(mapping_.fd);
    }
    MappingOwner(const MappingOwner&) = delete;
    MappingOwner& operator=(const MappingOwner&) = delete;

  private:
    Mapping mapping_;
};

// Puts a view of a private, page-file-backed copy where the file's view was, so that views
// into it stay valid and the file is free. Windows cannot swap a view in place as mmap's
// MAP_FIXED does: between the unmap and the new view another thread could take the
// addresses, and then the file's view is put back and the mapping stays as it was.
void Detach(Mapping& m) {
    HANDLE copy = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                     static_cast<DWORD>(uint64_t{m.length} >> 32),
                                     static_cast<DWORD>(m.length & 0xFFFFFFFFu), nullptr);
    if (copy == nullptr) return;
    void* staging = MapViewOfFile(copy, FILE_MAP_WRITE, 0, 0, m.length);
    if (staging == nullptr) {
        CloseHandle(copy);
        return;
    }
    std::memcpy(staging, m.address, m.length);
    UnmapViewOfFile(staging);
    UnmapViewOfFile(m.address);
    if (MapViewOfFileEx(copy, FILE_MAP_READ, 0, 0, m.length, m.address) == nullptr) {
        MapViewOfFileEx(m.section, FILE_MAP_READ, 0, 0, m.length, m.address);
        CloseHandle(copy);
        return;
    }
    CloseHandle(m.section);
    m.section = copy;
    // The file is free only once no handle of ours is left on it.
    if (m.fd >= 0) _close(m.fd);
    m.fd = -1;
    m.detached = true;
}

bool IdentityOfDescriptor(int fd, FileIdentity& identity) {
    if (fd < 0) return false;
    return IdentityOf(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), identity);
}

}  // namespace

SharedBytes TFileMapping::Map(int fd) {
    if (fd < 0) return {};
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    LARGE_INTEGER size{};
    FileIdentity identity;
    if (file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK ||
        !GetFileSizeEx(file, &size) || size.QuadPart <= 0 || !IdentityOf(file, identity)) {
        return {};
    }
    if (static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) return {};
    const auto length = static_cast<size_t>(size.QuadPart);
    // A section keeps the handle it was made from, with that handle's sharing: map through a
    // fresh handle that shares everything, so that the stream's "deny writers" ends with the
    // stream and not with the last view.
    HANDLE fresh =
        ReOpenFile(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    // A stream that shares nothing keeps even us from opening the file again: the view then
    // holds the stream's own file, and its sharing, until it goes or is detached.
    if (fresh == INVALID_HANDLE_VALUE &&
        !DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &fresh, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        return {};
    }
    const int own = AdoptHandle(fresh);  // a descriptor without the stream's sharing
    if (own < 0) return {};
    HANDLE section = CreateFileMappingW(fresh, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (section == nullptr) {
        _close(own);
        return {};
    }
    void* address = MapViewOfFile(section, FILE_MAP_READ, 0, 0, length);
    if (address == nullptr) {
        CloseHandle(section);
        _close(own);
        return {};
    }
    Mapping m;
    m.address = address;
    m.length = length;
    m.identity = identity;
    m.section = section;
    m.fd = own;
    auto owner = std::make_shared<const MappingOwner>(m);
    return SharedBytes(owner, std::string_view(static_cast<const char*>(address), length));
}

void TFileMapping::DetachMappingsOf(int fd) {
    FileIdentity identity;
    if (!IdentityOfDescriptor(fd, identity)) return;
    std::lock_guard<std::mutex> guard(RegistryLock());
    for (Mapping* m : Registry()) {
        if (!m->detached && m->identity == identity) Detach(*m);
    }
}

bool TFileMapping::IsMapped(int fd) {
    FileIdentity identity;
    if (!IdentityOfDescriptor(fd, identity)) return false;
    std::lock_guard<std::mutex> guard(RegistryLock());
    for (const Mapping* m : Registry()) {
        if (!m->detached && m->identity == identity) return true;
    }
    return false;
}

void TFileMapping::DropResident(std::string_view bytes) {
    if (bytes.empty()) return;
    const auto begin = reinterpret_cast<uintptr_t>(bytes.data());
    const uintptr_t end = begin + bytes.size();
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    const uintptr_t page = info.dwPageSize;
    // Only whole pages inside the bytes: a neighbour's bytes may share the edge pages.
    const uintptr_t from = (begin + page - 1) / page * page;
    const uintptr_t to = end / page * page;
    if (to <= from) return;
    std::lock_guard<std::mutex> guard(RegistryLock());
    for (const Mapping* m : Registry()) {
        const auto start = reinterpret_cast<uintptr_t>(m->address);
        if (!m->detached && begin >= start && end <= start + m->length) {
            // Unlocking pages that are not locked takes them out of the working set; the
            // file's pages come back from the cache when read again.
            VirtualUnlock(reinterpret_cast<void*>(from), to - from);
            return;
        }
    }
}

std::optional<TFileMapping::FileRange> TFileMapping::FileRangeOf(std::string_view bytes) {
    if (bytes.empty()) return std::nullopt;
    const auto begin = reinterpret_cast<uintptr_t>(bytes.data());
    const uintptr_t end = begin + bytes.size();
    std::lock_guard<std::mutex> guard(RegistryLock());
    for (const Mapping* m : Registry()) {
        const auto start = reinterpret_cast<uintptr_t>(m->address);
        // A detached mapping holds copies: the file under it may have changed since.
        if (!m->detached && m->fd >= 0 && begin >= start && end <= start + m->length) {
            return FileRange{m->fd, static_cast<int64_t>(begin - start)};
        }
    }
    return std::nullopt;
}

bool DetachMappingsAt(const std::wstring& path) {
    HANDLE query = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (query == INVALID_HANDLE_VALUE) return false;
    const int fd = AdoptHandle(query);
    if (fd < 0) return false;
    const bool mapped = TFileMapping::IsMapped(fd);
    if (mapped) TFileMapping::DetachMappingsOf(fd);
    _close(fd);
    return mapped;
}

size_t TFileMapping::LiveMappings() {
    std::lock_guard<std::mutex> guard(RegistryLock());
    return Registry().size();
}

}  // namespace verava
