// What every codec fuzz target checks of a decoder's output: one Begin, then exactly as many
// rows as it announced, and nothing delivered beyond the budget.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "content/image_codecs.h"

namespace verava::fuzzing {

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

class TCheckingSink : public TSampleSink {
  public:
    explicit TCheckingSink(size_t maxSamples, bool bilevel)
        : maxSamples_(maxSamples), bilevel_(bilevel) {}

    bool Begin(int32_t width, int32_t height, int32_t components) override {
        if (++begins > 1) Fail("Begin twice");
        if (width <= 0 || height <= 0 || components <= 0) Fail("an empty image announced");
        if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) *
                static_cast<uint64_t>(components) >
            maxSamples_) {
            Fail("an image beyond the budget announced");
        }
        this->width = width;
        this->height = height;
        this->components = components;
        return true;
    }
    void Row(const uint8_t* samples) override {
        if (begins != 1) Fail("a row before Begin");
        if (++rows > height) Fail("more rows than announced");
        // Every sample is read: a short row shows up under the address sanitizer.
        for (int64_t i = 0; i < int64_t{width} * components; ++i) {
            if (bilevel_ && samples[i] != 0 && samples[i] != 255)
                Fail("a bilevel sample not 0/255");
            sum += samples[i];
        }
    }
    // After the decoder said true.
    void CheckComplete() const {
        if (begins != 1 || rows != height) Fail("true without every row");
    }

    int begins = 0;
    int32_t rows = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t components = 0;
    uint64_t sum = 0;

  private:
    size_t maxSamples_;
    bool bilevel_;
};

}  // namespace verava::fuzzing
