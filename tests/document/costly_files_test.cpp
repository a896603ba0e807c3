// Small files that once took gigabytes or minutes to load: each loads within memory and work
// bounded by its size.
#include "support/costly_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "document/pdf_document.h"
#include "objects/stream.h"
#include "objects/stream_filters.h"

namespace verava {
namespace {

using testing::RunMeasured;

TEST(CostlyFiles, ObjectStreamIndexesCostWhatTheyHoldNotWhatTheyPromise) {
    // Each file holds its catalog in an object stream of about 32 MB decoded whose header is
    // all numbers; reading them as objects once took about 50 times that.
    constexpr int64_t kMB = 1 << 20;
    const struct {
        const char* name;
        std::function<std::string()> file;
    } cases[] = {
        {"a header run far past N", [] { return testing::IndexBeyondN(32 << 20); }},
        {"an index of six million pairs", [] { return testing::IndexOfManyPairs(6000000); }},
    };
    for (const auto& c : cases) {
        const std::string file = c.file();
        const testing::TMeasuredRun run = RunMeasured([&] {
            TMemoryStream input(file);
            TPDFDocument document;
            if (document.LoadFromStream(input, u"") != TPDFDocument::kLoaded) return 1;
            if (document.Repaired() || document.PageTree().TotalPages() != 1) return 2;
            return 0;
        });
        EXPECT_EQ(run.result, 0) << c.name;
        // The decoded stream, a copy of it on the way, and room for the sanitizers.
        EXPECT_LT(run.peakGrowth, 200 * kMB) << c.name;
    }
}

TEST(CostlyFiles, ObjectStreamsTakenRoundRobinCostBoundedWork) {
    // Three object streams of 50 MB decoded each, one page after another from each: a cache
    // holding two decodes once decoded one on every page, 3 GB in all. A stream decoded a
    // second time gives up every member at once, so each is decoded twice at most and every
    // page is read.
    const int pages = 60;
    const std::string costly = testing::StreamsInflatingLarge(3, 50 << 20, pages);
    TMemoryStream input(costly);
    TPDFDocument document;
    ASSERT_EQ(document.LoadFromStream(input, u""), TPDFDocument::kLoaded);
    EXPECT_EQ(document.PageTree().TotalPages(), pages);
    EXPECT_FALSE(document.Repaired());
    EXPECT_FALSE(document.PageTreeRebuilt());
    const uint64_t bound =
        TObjectStreamCache::kWorkFactor * DecodeLimitForInput(static_cast<int64_t>(costly.size()));
    EXPECT_LE(document.ObjectStreamCache().Work(), bound);
    EXPECT_LE(document.ObjectStreamCache().Work(), 6u * (51u << 20));

    const std::string sound = testing::StreamsInflatingLarge(3, 1 << 20, pages);
    TMemoryStream soundInput(sound);
    TPDFDocument soundDocument;
    ASSERT_EQ(soundDocument.LoadFromStream(soundInput, u""), TPDFDocument::kLoaded);
    EXPECT_EQ(soundDocument.PageTree().TotalPages(), pages);
    EXPECT_FALSE(soundDocument.PageTreeRebuilt());
    EXPECT_LT(soundDocument.ObjectStreamCache().Work(), 4u << 20);  // three decodes
}

TEST(CostlyFiles, LongUpdateChainsAreReadNotRepaired) {
    for (int updates : {1, 999, 1000, 10000}) {
        TMemoryStream input(testing::LongUpdateChain(updates));
        TPDFDocument document;
        ASSERT_EQ(document.LoadFromStream(input, u""), TPDFDocument::kLoaded) << updates;
        EXPECT_FALSE(document.Repaired()) << updates;
        EXPECT_EQ(document.PageTree().TotalPages(), 1) << updates;
        // The newest update's Info wins.
        const auto* title = As<TPDFString>(document.GetInfo()->GetValue("Title"));
        ASSERT_NE(title, nullptr) << updates;
        EXPECT_EQ(title->Bytes, "Update " + std::to_string(updates));
    }
}

}  // namespace
}  // namespace verava
