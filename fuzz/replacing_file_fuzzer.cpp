// Arbitrary bytes as a script for TReplacingFile, the way every save and merge output reaches
// its file: a target that may already exist (or be a symbolic link to the file it stands
// for), writes, seeks, reads back, size changes and copies from another file through
// Stream(), then Commit or not, with a new file that has no name while it is written or a
// named one. Its bytes are kept in memory alongside and must match what the stream reads
// back. Until Commit the target holds its earlier bytes; after Commit exactly what was
// written, with the earlier target's mode (0640) or, new, the mode the umask leaves; an
// abandoned file leaves the earlier target byte for byte; either way no temporary file stays
// in the folder, and a link stays a link.
//   byte 0      bits 0-1 the target's name, bit 2 an earlier target exists (its bytes: a
//               length byte and that many bytes), bit 3 Commit at the end, bit 4 named
//               temporaries, bit 5 the target is a link to "linked.pdf" (which holds the
//               earlier bytes)
//   then steps  byte % 6: 0 write (length byte, bytes), 1 seek (2 bytes), 2 read back (length
//               byte), 3 set the size (2 bytes), 4 copy from the source file (2 bytes offset,
//               1 byte count), 5 compare size and position
// The source file holds the whole input. Everything happens in a folder of its own, on tmpfs
// where there is one (saves may wait for the disk).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "objects/pdf_text.h"
#include "objects/replacing_file.h"
#include "objects/wide_file_stream.h"

namespace {

namespace fs = std::filesystem;

// The folder of this process, on tmpfs where there is one; never freed, so the exit handler
// can still remove it.
const std::string& Folder() {
    static const std::string* const folder = new std::string([] {
        std::string pattern =
            (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm/")
                                           : verava::WideNameToPath(verava::TempPath())) +
            "verava-replacing-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern + "/";
    }());
    return *folder;
}

std::set<std::string> Entries() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder()))
        names.insert(entry.path().filename());
    return names;
}

void RemoveFolder() { fs::remove_all(Folder()); }

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    RemoveFolder();  // the input shows the fault again; the folder need not stay behind
    std::abort();
}

// The bytes of a file; none when there is none.
std::optional<std::string> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return in ? std::optional(all.str()) : std::nullopt;
}

struct Script {
    const uint8_t* data;
    size_t size, at = 0;
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    size_t Word() {
        const size_t low = Byte();
        return low | size_t{Byte()} << 8;
    }
    std::string Bytes(size_t count) {
        const size_t n = std::min(count, size - std::min(at, size));
        at += n;
        return std::string(reinterpret_cast<const char*>(data) + at - n, n);
    }
};

// Runs the steps on the stream and on `model`, the bytes the file must hold.
void RunSteps(Script& script, verava::TStream& stream, std::string& model, int sourceFd,
              const std::string& source) {
    int64_t position = 0;
    auto put = [&](const std::string& bytes) {
        model.resize(std::max(model.size(), position + bytes.size()));
        model.replace(static_cast<size_t>(position), bytes.size(), bytes);
        position += static_cast<int64_t>(bytes.size());
    };
    auto length = [&] { return static_cast<int64_t>(model.size()); };
    while (script.at < script.size) {
        const uint8_t step = script.Byte() % 6;
        if (step == 0) {
            const std::string bytes = script.Bytes(script.Byte());
            const auto n = static_cast<int64_t>(bytes.size());
            if (stream.Write(bytes.data(), n) != n) Fail("a write fell short");
            put(bytes);
        } else if (step == 1) {
            position = static_cast<int64_t>(script.Word()) % (length() + 1);
            if (stream.Seek(position, verava::TStream::SeekOrigin::Beginning) != position)
                Fail("a seek went elsewhere");
        } else if (step == 2) {
            std::string bytes(script.Byte(), '\0');
            const int64_t n = stream.Read(bytes.data(), static_cast<int64_t>(bytes.size()));
            if (n < 0 || bytes.substr(0, static_cast<size_t>(n)) !=
                             model.substr(std::min<size_t>(position, model.size()), bytes.size()))
                Fail("the stream reads back other bytes than were written");
            position += n;
        } else if (step == 3) {
            model.resize(script.Word() % (model.size() + 257));
            stream.SetSize(length());
            // Where the position is after a size change is not the stream's promise.
            position = std::min(position, length());
            stream.Seek(position, verava::TStream::SeekOrigin::Beginning);
        } else if (step == 4) {
            const size_t offset = script.Word() % (source.size() + 1), count = script.Byte();
            const int64_t copied = stream.CopyFileRange(sourceFd, static_cast<int64_t>(offset),
                                                        static_cast<int64_t>(count));
            if (copied < 0 || static_cast<size_t>(copied) > std::min(count, source.size() - offset))
                Fail("a copy overran");
            put(source.substr(offset, static_cast<size_t>(copied)));
            // The callers write on from where the copy ended.
            if (stream.Position() != position) Fail("a copy left the position elsewhere");
        } else if (stream.Size() != length() || stream.Position() != position) {
            Fail("sizes or positions differ");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    static const bool cleanUp = std::atexit(RemoveFolder) == 0;
    (void)cleanUp;
    for (const std::string& name : Entries()) fs::remove(Folder() + name);
    Script script{data, size};
    const uint8_t flags = script.Byte();
    // Names with blanks and CJK text, one of 205 bytes whose temporary companion must cut it
    // inside a character, and a hidden one.
    std::string long205;
    for (int i = 0; i < 67; ++i) long205 += "\xE5\xAD\x97";
    const std::string names[] = {
        "out.pdf", "\xE5\x8F\x8C\xE9\x9D\xA2 scan_\xE9\x87\x8D\xE6\x8E\x92\xE5\x90\x8E.pdf",
        long205 + ".pdf", ".hidden.pdf"};
    const std::string name = names[flags & 3];
    const std::string target = Folder() + name;
    const std::string source(reinterpret_cast<const char*>(data), size);
    std::ofstream(Folder() + "source.bin", std::ios::binary) << source;
    std::set<std::string> expected = {"source.bin"};
    const bool linked = (flags & 32) != 0;
    const bool commit = (flags & 8) != 0;
    // The file that holds the output's bytes: the target, or the file it links to.
    const std::string holder = linked ? Folder() + "linked.pdf" : target;
    std::optional<std::string> earlier;
    if ((flags & 4) != 0 || linked) {
        earlier = script.Bytes(script.Byte());
        std::ofstream(holder, std::ios::binary) << *earlier;
        chmod(holder.c_str(), 0640);
        expected.insert({name, linked ? "linked.pdf" : name});
        if (linked && symlink("linked.pdf", target.c_str()) != 0) Fail("cannot make the link");
    }

    const int sourceFd = open((Folder() + "source.bin").c_str(), O_RDONLY | O_CLOEXEC);
    if (sourceFd < 0) Fail("cannot open the source file");
    std::string model;
    try {
        std::unique_ptr<verava::ScopedNamedTemporaries> named;
        if ((flags & 16) != 0) named = std::make_unique<verava::ScopedNamedTemporaries>();
        verava::TReplacingFile file(verava::Utf8ToUnicode(target));
        RunSteps(script, file.Stream(), model, sourceFd, source);
        if (Read(holder) != earlier) Fail("the target changed before Commit");
        if (commit && !file.Commit()) Fail("Commit failed in a private folder");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "raised: %s\n", e.what());
        Fail("TReplacingFile raised");
    }
    close(sourceFd);

    if (commit) expected.insert(name);
    if (Read(holder) != (commit ? std::optional(model) : earlier))
        Fail(commit ? "the committed target holds other bytes"
                    : "an abandoned file changed or left the target");
    const mode_t mask = umask(0);
    umask(mask);
    struct stat info {};
    if (commit && (stat(holder.c_str(), &info) != 0 ||
                   (info.st_mode & 07777) != (earlier ? 0640 : 0666 & ~mask)))
        Fail("the committed target has another mode");
    if (linked && !fs::is_symlink(target)) Fail("the link is no longer a link");
    if (Entries() != expected) Fail("a temporary file stayed in the folder");
    return 0;
}
