// Sequential output in large blocks over another stream: writers of whole PDF files emit
// many small pieces (object headers, dictionaries) between large ones (image data). Small
// pieces are collected; large ones go out directly instead of through another copy; and
// every write but the last ends on a 64 KiB boundary of the file, so the system never has
// to fill half-written blocks.
#pragma once

#include <cstdint>
#include <string>
#include <optional>
#include <string_view>

#include "objects/stream.h"

namespace verava {

class TBufferedOutputStream : public TStream {
  public:
    // Writes go to `target` from its current position on.
    explicit TBufferedOutputStream(TStream& target);
    // Flushes; errors at this point are lost, so call Flush() to see them.
    ~TBufferedOutputStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    // Seek(0, Current) answers the position without touching the target; any other seek
    // flushes first.
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override;

    // Sends what is collected; raises EStreamError when the target takes less.
    void Flush();

  private:
    void Send(std::string_view bytes);
    // Copies `bytes` file to file when they lie in a mapped file and the target can take
    // them so; false when nothing was written.
    bool CopyFromFile(std::string_view bytes);

    static constexpr size_t kBlock = 1 << 20;
    static constexpr size_t kAlign = 1 << 16;
    static constexpr size_t kCopyFrom = 1 << 16;
    TStream& target_;
    std::string buffer_;
    int64_t position_;
};

}  // namespace verava
