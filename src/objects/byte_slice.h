// Immutable bytes shared between the image of a file and the values that view it: stream
// data of a loaded file are slices of the one in-memory (or mapped) copy of that file
// instead of copies of it. Replacing data makes a new buffer; nothing writes through a view.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace verava {

// A run of bytes and whatever keeps them alive (a string, a mapped file).
class SharedBytes {
  public:
    SharedBytes() = default;
    // NOLINTNEXTLINE(google-explicit-constructor): a shared string is shared bytes.
    SharedBytes(std::shared_ptr<const std::string> text)
        : view_(text ? std::string_view(*text) : std::string_view()), owner_(std::move(text)) {}
    SharedBytes(std::shared_ptr<const void> owner, std::string_view view)
        : view_(view), owner_(std::move(owner)) {}
    static SharedBytes FromString(std::string text) {
        return SharedBytes(std::make_shared<const std::string>(std::move(text)));
    }

    std::string_view View() const { return view_; }
    const char* data() const { return view_.data(); }
    size_t size() const { return view_.size(); }
    bool empty() const { return view_.empty(); }
    explicit operator bool() const { return owner_ != nullptr; }
    // [offset, offset + length) clipped to the bytes, sharing the owner.
    SharedBytes Sub(size_t offset, size_t length = std::string_view::npos) const {
        const size_t from = offset < view_.size() ? offset : view_.size();
        return SharedBytes(owner_, view_.substr(from, length));
    }

  private:
    std::string_view view_;
    std::shared_ptr<const void> owner_;
};

class ByteSlice {
  public:
    ByteSlice() = default;
    explicit ByteSlice(std::string bytes) : bytes_(SharedBytes::FromString(std::move(bytes))) {}
    // A view of [offset, offset + length) of shared bytes, clipped to them.
    ByteSlice(const SharedBytes& buffer, size_t offset, size_t length)
        : bytes_(buffer.Sub(offset, length)) {}

    std::string_view View() const { return bytes_.View(); }
    size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    std::string ToString() const { return std::string(View()); }

  private:
    SharedBytes bytes_;
};

}  // namespace verava
