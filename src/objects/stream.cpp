#include "objects/stream.h"

#include <algorithm>
#include <cstring>

#include "objects/file_error.h"

namespace verava {

int64_t TStream::Size() {
    const int64_t position = Seek(0, SeekOrigin::Current);
    const int64_t size = Seek(0, SeekOrigin::End);
    Seek(position, SeekOrigin::Beginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count > 0 && Read(buffer, count) != count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count > 0 && Write(buffer, count) != count) {
        if (const int code = SystemError(); code != 0) {
            throw EFileError(TFileError::FromErrno(code, TFileStep::Write));
        }
        throw EStreamError("Stream write error");
    }
}

std::string TStream::ReadAt(int64_t position, int64_t count) {
    std::string out;
    if (count < 1) return out;
    out.resize(static_cast<size_t>(count));
    Seek(position, SeekOrigin::Beginning);
    int64_t done = 0;
    while (done < count) {
        const int64_t got = Read(out.data() + done, count - done);
        if (got <= 0) break;
        done += got;
    }
    out.resize(static_cast<size_t>(done));
    return out;
}

std::string TStream::ReadAll() {
    const int64_t size = Size();
    std::string data;
    if (size <= 0) return data;
    Seek(0, SeekOrigin::Beginning);
    // Appending through a small buffer fills the string once; sizing it first would zero
    // every byte before the read writes it again, which shows on files of hundreds of MB.
    data.reserve(static_cast<size_t>(size));
    constexpr int64_t kChunk = 1 << 20;
    std::string chunk(static_cast<size_t>(std::min<int64_t>(kChunk, size)), '\0');
    while (static_cast<int64_t>(data.size()) < size) {
        const int64_t want = std::min<int64_t>(static_cast<int64_t>(chunk.size()),
                                               size - static_cast<int64_t>(data.size()));
        const int64_t got = Read(chunk.data(), want);
        if (got <= 0) break;
        data.append(chunk.data(), static_cast<size_t>(got));
    }
    return data;
}

namespace {

// Reads of the streams over bytes in memory: up to `count` bytes from `position`, advanced.
int64_t ReadFrom(std::string_view bytes, int64_t& position, void* buffer, int64_t count) {
    const auto size = static_cast<int64_t>(bytes.size());
    if (count <= 0 || position >= size) return 0;
    const int64_t n = count < size - position ? count : size - position;
    std::memcpy(buffer, bytes.data() + position, static_cast<size_t>(n));
    position += n;
    return n;
}

// Their seeks: a position before the start is the start; one past the end stays there.
int64_t SeekWithin(int64_t size, int64_t& position, int64_t offset, TStream::SeekOrigin origin) {
    int64_t base = 0;
    if (origin == TStream::SeekOrigin::Current) base = position;
    if (origin == TStream::SeekOrigin::End) base = size;
    const int64_t target = base + offset;
    position = target < 0 ? 0 : target;
    return position;
}

}  // namespace

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    return ReadFrom(data_, position_, buffer, count);
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const size_t end = static_cast<size_t>(position_ + count);
    if (end > data_.size()) data_.resize(end);
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    return SeekWithin(static_cast<int64_t>(data_.size()), position_, offset, origin);
}

void TMemoryStream::SetSize(int64_t size) {
    data_.resize(static_cast<size_t>(size < 0 ? 0 : size));
    if (position_ > size) position_ = size;
}

int64_t TSharedBytesStream::Read(void* buffer, int64_t count) {
    return ReadFrom(bytes_.View(), position_, buffer, count);
}

int64_t TSharedBytesStream::Seek(int64_t offset, SeekOrigin origin) {
    return SeekWithin(static_cast<int64_t>(bytes_.size()), position_, offset, origin);
}

}  // namespace verava
