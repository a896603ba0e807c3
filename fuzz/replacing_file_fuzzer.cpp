// Arbitrary bytes as a script for TReplacingFile, the way every save and merge output reaches
// its file: a target that may already exist (or be a symbolic link to the file it stands
// for), writes, seeks, reads back, size changes and copies from another file through
// Stream(), then Commit or not, with a new file that has no name while it is written or a
// named one. Its bytes are kept in memory alongside and must match what the stream reads
// back. Until Commit the target holds its earlier bytes; after Commit exactly what was
// written; an abandoned file leaves the earlier target byte for byte; either way no temporary
// file stays in the folder, and a link stays a link.
//   byte 0      bits 0-1 the target's name, bit 2 an earlier target exists (its bytes: a
//               length byte and that many bytes), bit 3 Commit at the end, bit 4 named
//               temporaries, bit 5 the target is a link to "linked.pdf" (which holds the
//               earlier bytes)
//   then steps  byte % 6: 0 write (length byte, bytes), 1 seek (2 bytes), 2 read back (length
//               byte), 3 set the size (2 bytes), 4 copy from the source file (2 bytes offset,
//               1 byte count), 5 compare size and position
// The source file holds the whole input. Everything happens in a folder of its own, on tmpfs
// where there is one (saves may wait for the disk).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "objects/pdf_text.h"
#include "objects/replacing_file.h"
#include "objects/stream.h"
#include "objects/wide_file_stream.h"

namespace {

using verava::TStream;

void RemoveFolder();

// The folder of this process once it is made; never freed, so the exit handler that removes
// the folder can still read its name.
const std::string* made = nullptr;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    // The input shows the fault again; the folder need not stay behind.
    if (made != nullptr) RemoveFolder();
    std::abort();
}

const std::string& Folder() {
    static const std::string* const folder = made = new std::string([] {
        struct stat info {};
        std::string base =
            stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) && access("/dev/shm", W_OK) == 0
                ? "/dev/shm/"
                : verava::WideNameToPath(verava::TempPath());
        std::string pattern = base + "verava-replacing-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) Fail("no private folder in " + base);
        return pattern + "/";
    }());
    return *folder;
}

std::set<std::string> Entries() {
    std::set<std::string> names;
    if (DIR* dir = opendir(Folder().c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.insert(name);
        }
        closedir(dir);
    }
    return names;
}

void Clear() {
    for (const std::string& name : Entries()) unlink((Folder() + name).c_str());
}

void RemoveFolder() {
    Clear();
    rmdir(Folder().c_str());
}

bool ReadFile(const std::string& path, std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    bytes.clear();
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    return true;
}

void WriteFile(const std::string& path, std::string_view bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        Fail("cannot write " + path);
    }
    std::fclose(f);
}

// Names with blanks and CJK text, a hidden one, and one of 205 bytes whose temporary
// companion must cut it inside a character.
std::string TargetName(int choice) {
    switch (choice) {
        case 1:
            return "\xE5\x8F\x8C\xE9\x9D\xA2 scan_\xE9\x87\x8D\xE6\x8E\x92\xE5\x90\x8E.pdf";
        case 2: {
            std::string name;
            for (int i = 0; i < 67; ++i) name += "\xE5\xAD\x97";
            return name + ".pdf";
        }
        case 3:
            return ".hidden.pdf";
        default:
            return "out.pdf";
    }
}

class Script {
  public:
    Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Word() { return Byte() | static_cast<uint32_t>(Byte()) << 8; }
    std::string_view Bytes(size_t count) {
        const size_t n = std::min(count, size_ - std::min(at_, size_));
        const std::string_view bytes(reinterpret_cast<const char*>(data_) + at_, n);
        at_ += n;
        return bytes;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Runs the steps on the stream and on `model`, the bytes the file must hold.
void RunSteps(Script& script, TStream& stream, std::string& model, int sourceFd,
              const std::string& source) {
    size_t position = 0;
    while (!script.Done()) {
        switch (script.Byte() % 6) {
            case 0: {
                const std::string_view bytes = script.Bytes(script.Byte());
                const int64_t n = static_cast<int64_t>(bytes.size());
                if (stream.Write(bytes.data(), n) != n) Fail("a write fell short");
                if (model.size() < position + bytes.size()) model.resize(position + bytes.size());
                model.replace(position, bytes.size(), bytes);
                position += bytes.size();
                break;
            }
            case 1:
                position = script.Word() % (model.size() + 1);
                if (stream.Seek(static_cast<int64_t>(position), TStream::SeekOrigin::Beginning) !=
                    static_cast<int64_t>(position)) {
                    Fail("a seek went elsewhere");
                }
                break;
            case 2: {
                std::string bytes(script.Byte(), '\0');
                const int64_t n = stream.Read(bytes.data(), static_cast<int64_t>(bytes.size()));
                const std::string want =
                    model.substr(std::min(position, model.size()), bytes.size());
                if (n < 0 || bytes.substr(0, static_cast<size_t>(n)) != want) {
                    Fail("the stream reads back other bytes than were written");
                }
                position += static_cast<size_t>(n);
                break;
            }
            case 3: {
                const size_t length = script.Word() % (model.size() + 257);
                stream.SetSize(static_cast<int64_t>(length));
                model.resize(length);
                // Where the position is after a size change is not the stream's promise.
                position = std::min(position, length);
                stream.Seek(static_cast<int64_t>(position), TStream::SeekOrigin::Beginning);
                break;
            }
            case 4: {
                const size_t offset = script.Word() % (source.size() + 1);
                const size_t count = script.Byte();
                const int64_t copied = stream.CopyFileRange(sourceFd, static_cast<int64_t>(offset),
                                                            static_cast<int64_t>(count));
                if (copied < 0 || static_cast<size_t>(copied) > count) Fail("a copy overran");
                const std::string bytes = source.substr(offset, static_cast<size_t>(copied));
                if (bytes.size() != static_cast<size_t>(copied)) Fail("a copy read past the end");
                if (model.size() < position + bytes.size()) model.resize(position + bytes.size());
                model.replace(position, bytes.size(), bytes);
                position += bytes.size();
                // The callers write on from where the copy ended.
                if (stream.Position() != static_cast<int64_t>(position)) {
                    Fail("a copy left the position elsewhere");
                }
                break;
            }
            default:
                if (stream.Size() != static_cast<int64_t>(model.size())) Fail("sizes differ");
                if (stream.Position() != static_cast<int64_t>(position)) Fail("positions differ");
                break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    static const bool cleanUp = std::atexit(RemoveFolder) == 0;
    (void)cleanUp;
    Clear();
    Script script(data, size);
    const uint8_t flags = script.Byte();
    const std::string name = TargetName(flags & 3);
    const std::string target = Folder() + name;
    const std::string source(reinterpret_cast<const char*>(data), size);
    WriteFile(Folder() + "source.bin", source);
    std::set<std::string> before = {"source.bin"};
    const bool linked = (flags & 32) != 0;
    const bool earlier = (flags & 4) != 0 || linked;
    // The file that holds the output's bytes: the target, or the file it links to.
    const std::string holder = linked ? Folder() + "linked.pdf" : target;
    std::string earlierBytes;
    if (earlier) {
        earlierBytes = std::string(script.Bytes(script.Byte()));
        WriteFile(holder, earlierBytes);
        before.insert(name);
        if (linked) {
            before.insert("linked.pdf");
            if (symlink("linked.pdf", target.c_str()) != 0) Fail("cannot make the link");
        }
    }
    const bool commit = (flags & 8) != 0;

    const int sourceFd = open((Folder() + "source.bin").c_str(), O_RDONLY | O_CLOEXEC);
    if (sourceFd < 0) Fail("cannot open the source file");
    std::string model;
    std::string now;
    try {
        std::unique_ptr<verava::ScopedNamedTemporaries> named;
        if ((flags & 16) != 0) named = std::make_unique<verava::ScopedNamedTemporaries>();
        verava::TReplacingFile file(verava::Utf8ToUnicode(target));
        RunSteps(script, file.Stream(), model, sourceFd, source);
        if (!(earlier ? ReadFile(holder, now) && now == earlierBytes : !ReadFile(target, now))) {
            Fail("the target changed before Commit");
        }
        if (commit && !file.Commit()) Fail("Commit failed in a private folder");
    } catch (const std::exception& e) {
        Fail(std::string("raised: ") + e.what());
    }
    close(sourceFd);

    std::set<std::string> after = before;
    if (commit) {
        after.insert(name);
        if (!ReadFile(holder, now) || now != model) Fail("the committed target holds other bytes");
    } else if (earlier) {
        if (!ReadFile(holder, now) || now != earlierBytes) {
            Fail("an abandoned file changed the earlier target");
        }
    } else if (ReadFile(target, now)) {
        Fail("an abandoned file left a target behind");
    }
    struct stat info {};
    if (linked && (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))) {
        Fail("the link is no longer a link");
    }
    if (Entries() != after) Fail("a temporary file stayed in the folder");
    Clear();
    return 0;
}
