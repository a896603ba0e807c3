// Whole files mapped read-only into memory: a 300 MB scan is then not copied into the
// process at all, and its stream data are written out straight from the system's file
// cache. A mapping reads the file as it is on disk, so truncating a mapped file would pull
// pages from under it. When this process creates an output over a file it has mapped, the
// old file is unlinked and a new one made under the name (the mapping keeps the old one);
// only where that fails are the mappings first turned into private copies (always on
// Windows, which refuses to truncate, replace or delete a file while a view of it lives).
// Other programs that truncate a file in place while VERava works on it are not stopped.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "objects/byte_slice.h"

namespace verava {

class TFileMapping {
  public:
    // The whole regular file open at `fd`, mapped; empty when it cannot be mapped (an empty
    // file, a pipe, a file system without mmap), and the caller reads it instead.
    static SharedBytes Map(int fd);
    // Copies every live mapping of the file open at `fd` into private memory, in place, so
    // views into them stay valid whatever happens to the file.
    static void DetachMappingsOf(int fd);
    // True when this process maps the file open at `fd`.
    static bool IsMapped(int fd);
    // A hint that `bytes` of a mapped file are not needed in memory for now: the pages
    // drop out of the process and come back from the file when read again. Bytes that are
    // not (wholly) inside a live, undetached mapping are left alone.
    static void DropResident(std::string_view bytes);
    // Where `bytes` lie in the file a live, undetached mapping was made from: a descriptor
    // open on that file (valid while the mapping lives) and the offset. Writers copy such
    // bytes file to file instead of through memory.
    struct FileRange {
        int fd = -1;
        int64_t offset = 0;
    };
    static std::optional<FileRange> FileRangeOf(std::string_view bytes);
    // Live mappings of this process (tests).
    static size_t LiveMappings();
};

}  // namespace verava
