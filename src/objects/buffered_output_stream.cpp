#include "objects/buffered_output_stream.h"

#include "objects/file_mapping.h"

#include <algorithm>

namespace verava {

TBufferedOutputStream::TBufferedOutputStream(TStream& target)
    : target_(target), position_(target.Position()) {
    buffer_.reserve(kBlock);
}

TBufferedOutputStream::~TBufferedOutputStream() {
    try {
        Flush();
    } catch (...) {
        // Reported by an explicit Flush() when the caller wants to know.
    }
}

void TBufferedOutputStream::Send(std::string_view bytes) {
    if (!bytes.empty()) target_.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TBufferedOutputStream::Flush() {
    if (buffer_.empty()) return;
    std::string pending;
    pending.swap(buffer_);
    buffer_.reserve(kBlock);
    Send(pending);
}

bool TBufferedOutputStream::CopyFromFile(std::string_view bytes) {
    const std::optional<TFileMapping::FileRange> range = TFileMapping::FileRangeOf(bytes);
    if (!range) return false;
    Flush();
    const auto count = static_cast<int64_t>(bytes.size());
    const int64_t copied = target_.CopyFileRange(range->fd, range->offset, count);
    if (copied <= 0) return false;
    position_ += copied;
    // Where the system stopped early, the rest goes the usual way.
    Send(bytes.substr(static_cast<size_t>(copied)));
    position_ += count - copied;
    return true;
}

int64_t TBufferedOutputStream::Write(const void* data, int64_t count) {
    if (count <= 0) return 0;
    std::string_view bytes(static_cast<const char*>(data), static_cast<size_t>(count));
    // Large stretches of a mapped input (scanned images) go from file to file: the process
    // neither reads them into memory nor copies them.
    if (bytes.size() >= kCopyFrom && CopyFromFile(bytes)) return count;
    if (buffer_.size() + bytes.size() <= kBlock) {
        buffer_.append(bytes);
        position_ += count;
        return count;
    }
    // Top the buffer up to a boundary, send it, send the aligned middle of the rest
    // directly, keep the tail.
    const auto toBoundary =
        static_cast<size_t>((kAlign - static_cast<uint64_t>(position_) % kAlign) % kAlign);
    const size_t topUp = std::min(toBoundary, bytes.size());
    buffer_.append(bytes.substr(0, topUp));
    position_ += static_cast<int64_t>(topUp);
    bytes.remove_prefix(topUp);
    Flush();
    const size_t direct = bytes.size() / kAlign * kAlign;
    if (direct > 0) {
        Send(bytes.substr(0, direct));
        position_ += static_cast<int64_t>(direct);
        bytes.remove_prefix(direct);
    }
    buffer_.append(bytes);
    position_ += static_cast<int64_t>(bytes.size());
    return count;
}

int64_t TBufferedOutputStream::Read(void* buffer, int64_t count) {
    Flush();
    const int64_t got = target_.Read(buffer, count);
    position_ = target_.Position();
    return got;
}

int64_t TBufferedOutputStream::Seek(int64_t offset, SeekOrigin origin) {
    if (offset == 0 && origin == SeekOrigin::Current) return position_;
    Flush();
    position_ = target_.Seek(offset, origin);
    return position_;
}

void TBufferedOutputStream::SetSize(int64_t size) {
    Flush();
    target_.SetSize(size);
    position_ = target_.Position();
}

int64_t TBufferedOutputStream::Size() {
    Flush();
    return target_.Size();
}

}  // namespace verava
