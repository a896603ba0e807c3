#include "objects/file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace verava {
namespace {

struct Mapping {
    void* address = nullptr;
    size_t length = 0;  // the file's size
    dev_t device = 0;
    ino_t inode = 0;
    int fd = -1;  // the file, open for reading while the mapping lives
    bool detached = false;
};

// The process's live mappings, so that creating an output over a mapped file can detach
// them first. Guarded because mappings may be freed on any thread.
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
        munmap(mapping_.address, mapping_.length);
        if (mapping_.fd >= 0) close(mapping_.fd);
    }
    MappingOwner(const MappingOwner&) = delete;
    MappingOwner& operator=(const MappingOwner&) = delete;
    const Mapping& Get() const { return mapping_; }

  private:
    Mapping mapping_;
};

// Replaces the mapped file pages by anonymous pages holding the same bytes, one chunk at a
// time so the extra memory stays small.
void Detach(Mapping& m) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t span = (m.length + page - 1) / page * page;
    constexpr size_t kChunk = 1 << 20;
    std::vector<char> copy(std::min(kChunk, span));
    auto* base = static_cast<char*>(m.address);
    for (size_t offset = 0; offset < span; offset += kChunk) {
        const size_t length = std::min(kChunk, span - offset);
        std::memcpy(copy.data(), base + offset, length);
        void* fresh = mmap(base + offset, length, PROT_READ | PROT_WRITE,
                           MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (fresh == MAP_FAILED) return;  // the file pages stay; nothing is lost
        std::memcpy(base + offset, copy.data(), length);
        mprotect(base + offset, length, PROT_READ);
    }
    m.detached = true;
}

}  // namespace

SharedBytes TFileMapping::Map(int fd) {
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return {};
    const size_t length = static_cast<size_t>(st.st_size);
    // A mapping keeps the open file description it was made from, and with it any flock
    // on it: map through a fresh description of the same file so that no lock outlives
    // the stream that took it.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const int fresh = open(self.c_str(), O_RDONLY | O_CLOEXEC);
    if (fresh < 0) return {};
    struct stat again {};
    if (fstat(fresh, &again) != 0 || again.st_ino != st.st_ino || again.st_dev != st.st_dev) {
        close(fresh);
        return {};
    }
    void* address = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fresh, 0);
    if (address == MAP_FAILED) {
        close(fresh);
        return {};
    }
    // The whole file is read front to back by the loaders and the writer.
    madvise(address, length, MADV_SEQUENTIAL);
    Mapping m;
    m.address = address;
    m.length = length;
    m.device = st.st_dev;
    m.inode = st.st_ino;
    m.fd = fresh;  // a description without locks: it holds none the stream took
    auto owner = std::make_shared<const MappingOwner>(m);
    return SharedBytes(owner, std::string_view(static_cast<const char*>(address), length));
}

void TFileMapping::DetachMappingsOf(int fd) {
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) return;
    std::lock_guard<std::mutex> guard(RegistryLock());
    for (Mapping* m : Registry()) {
        if (!m->detached && m->device == st.st_dev && m->inode == st.st_ino) Detach(*m);
    }
}

bool TFileMapping::IsMapped(int fd) {
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) return false;
    std::lock_guard<std::mutex> guard(RegistryLock());
    for (const Mapping* m : Registry()) {
        if (!m->detached && m->device == st.st_dev && m->inode == st.st_ino) return true;
    }
    return false;
}

void TFileMapping::DropResident(std::string_view bytes) {
    if (bytes.empty()) return;
    const auto begin = reinterpret_cast<uintptr_t>(bytes.data());
    const uintptr_t end = begin + bytes.size();
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    // Only whole pages inside the bytes: a neighbour's bytes may share the edge pages.
    const uintptr_t from = (begin + page - 1) / page * page;
    const uintptr_t to = end / page * page;
    if (to <= from) return;
    std::lock_guard<std::mutex> guard(RegistryLock());
    for (const Mapping* m : Registry()) {
        const auto start = reinterpret_cast<uintptr_t>(m->address);
        if (!m->detached && begin >= start && end <= start + m->length) {
            madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
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

size_t TFileMapping::LiveMappings() {
    std::lock_guard<std::mutex> guard(RegistryLock());
    return Registry().size();
}

}  // namespace verava
