// Whole files mapped read-only into memory: a 300 MB scan is then not copied into the
// process at all, and its stream data are written out straight from the system's file
// cache. A mapping reads the file as it is on disk, so truncating a mapped file would pull
// pages from under it; before this process truncates a file (creating an output over an
// existing file) every live mapping of that file is first turned into a private copy.
// Other programs that truncate a file in place while VERava works on it are not stopped.
#pragma once

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
    // Live mappings of this process (tests).
    static size_t LiveMappings();
};

}  // namespace verava
