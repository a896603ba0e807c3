// An immutable run of bytes that may share its buffer with others: stream data of a loaded
// file are slices of the one in-memory copy of that file instead of copies of it. Replacing
// the data makes a new buffer; nothing ever writes through a slice.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace verava {

class ByteSlice {
  public:
    ByteSlice() = default;
    explicit ByteSlice(std::string bytes)
        : buffer_(std::make_shared<const std::string>(std::move(bytes))),
          offset_(0),
          length_(buffer_->size()) {}
    // A view of [offset, offset + length) of a shared buffer, clipped to the buffer.
    ByteSlice(std::shared_ptr<const std::string> buffer, size_t offset, size_t length)
        : buffer_(std::move(buffer)) {
        const size_t size = buffer_ ? buffer_->size() : 0;
        offset_ = offset < size ? offset : size;
        length_ = length < size - offset_ ? length : size - offset_;
    }

    std::string_view View() const {
        return buffer_ ? std::string_view(*buffer_).substr(offset_, length_) : std::string_view();
    }
    size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }
    std::string ToString() const { return std::string(View()); }

  private:
    std::shared_ptr<const std::string> buffer_;
    size_t offset_ = 0;
    size_t length_ = 0;
};

}  // namespace verava
