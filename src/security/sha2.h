// SHA-256, SHA-384 and SHA-512 (FIPS 180-4) as incremental digest objects, plus one-shot
// helpers. Revisions 5 and 6 of the standard security handler hash passwords with them
// (ISO 32000-2, 7.6.4.3.3-4). Init, Update..., Final; Final writes the digest and wipes the
// state, so the object must be initialised again before reuse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace verava {

// Raised by the digest objects when they are used out of order.
class EDCP_hash : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TDCP_hash {
  public:
    virtual ~TDCP_hash() = default;

    // Starts a new message.
    virtual void Init() = 0;
    // Writes DigestSize() bytes to `digest`, then wipes the state (as Burn).
    // Raises EDCP_hash when not initialised.
    virtual void Final(unsigned char* digest) = 0;
    // Wipes the state; the object is no longer initialised.
    virtual void Burn() = 0;
    // Adds `size` bytes to the message. Raises EDCP_hash when not initialised.
    virtual void Update(const unsigned char* buffer, size_t size) = 0;

    virtual size_t DigestSize() const = 0;

    void UpdateStr(std::string_view data) {
        Update(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    }
    bool Initialized() const { return initialized_; }

  protected:
    void RequireInitialized() const;

    bool initialized_ = false;
};

class TDCP_sha256 : public TDCP_hash {
  public:
    ~TDCP_sha256() override;
    void Init() override;
    void Final(unsigned char* digest) override;
    void Burn() override;
    void Update(const unsigned char* buffer, size_t size) override;
    size_t DigestSize() const override { return 32; }

  private:
    void Compress(const unsigned char* block);

    uint32_t state_[8] = {};
    unsigned char buffer_[64] = {};
    size_t used_ = 0;
    uint64_t totalBytes_ = 0;
};

// The common engine of SHA-384 and SHA-512: 64-bit words, 128-byte blocks, 128-bit length.
class TDCP_sha512base : public TDCP_hash {
  public:
    ~TDCP_sha512base() override;
    void Final(unsigned char* digest) override;
    void Burn() override;
    void Update(const unsigned char* buffer, size_t size) override;

  protected:
    void Start(const uint64_t (&initial)[8]);

  private:
    void Compress(const unsigned char* block);

    uint64_t state_[8] = {};
    unsigned char buffer_[128] = {};
    size_t used_ = 0;
    // Message length in bytes as a 128-bit number.
    uint64_t totalLow_ = 0;
    uint64_t totalHigh_ = 0;
};

class TDCP_sha384 : public TDCP_sha512base {
  public:
    void Init() override;
    size_t DigestSize() const override { return 48; }
};

class TDCP_sha512 : public TDCP_sha512base {
  public:
    void Init() override;
    size_t DigestSize() const override { return 64; }
};

// One-shot digests: 32, 48 and 64 bytes.
std::string Sha256(std::string_view data);
std::string Sha384(std::string_view data);
std::string Sha512(std::string_view data);

}  // namespace verava
