// Byte streams: the abstract TStream the loaders and writers work on, and TMemoryStream, a
// stream over a byte string held in memory (files are read whole into one).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "objects/byte_slice.h"

namespace verava {

// Raised by the stream layer: short reads/writes in the *Buffer calls, failed opens.
class EStreamError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TStream {
  public:
    enum class SeekOrigin { Beginning, Current, End };

    virtual ~TStream() = default;

    // Bytes transferred; 0 on failure.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    virtual void SetSize(int64_t size) = 0;
    virtual int64_t Size();
    // Copies `count` bytes of the file open at `fd`, from `offset`, to this stream's
    // position without passing them through the process's memory. Returns the bytes copied:
    // 0 when this stream cannot (the caller then writes them), fewer when the system stopped.
    virtual int64_t CopyFileRange(int /*fd*/, int64_t /*offset*/, int64_t /*count*/) { return 0; }
    // The system's reason (errno) for the last read or write that came up short; 0 when
    // there is none or the stream has no system behind it.
    virtual int SystemError() const { return 0; }
    // The whole stream as bytes shared without a copy (a file mapped into memory, bytes a
    // stream holds); empty when it cannot be had so, and the reader reads instead.
    virtual SharedBytes MapAll() const { return {}; }

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, SeekOrigin::Beginning); }

    // Like Read/Write, but raise EStreamError when fewer bytes were transferred (EFileError,
    // with the system's reason, when the system refused a write).
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    void WriteText(std::string_view text) {
        WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    }

    // The whole stream from position 0.
    std::string ReadAll();
    // Up to `count` bytes from `position`, fewer where the stream ends or a read fails.
    std::string ReadAt(int64_t position, int64_t count);
};

class TMemoryStream : public TStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string data) : data_(std::move(data)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }

    const std::string& Data() const { return data_; }
    std::string TakeData() { return std::move(data_); }

  private:
    std::string data_;
    int64_t position_ = 0;
};

using TStringStream = TMemoryStream;

// A read-only stream over shared bytes (a loaded document's file image, say): readers take
// the bytes themselves through MapAll, and writes fail.
class TSharedBytesStream : public TStream {
  public:
    explicit TSharedBytesStream(SharedBytes bytes) : bytes_(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* /*buffer*/, int64_t /*count*/) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t /*size*/) override { throw EStreamError("read-only stream"); }
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
    SharedBytes MapAll() const override { return bytes_; }

  private:
    SharedBytes bytes_;
    int64_t position_ = 0;
};

}  // namespace verava
