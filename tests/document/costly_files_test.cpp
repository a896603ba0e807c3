// Small files that once took gigabytes or minutes to load: each loads within memory and work
// bounded by its size. (Long chains of updates are the cross-reference reader's tests.)
#include "support/costly_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "document/pdf_document.h"
#include "objects/stream.h"
#include "objects/stream_filters.h"

namespace verava {
namespace {

TEST(CostlyFiles, ObjectStreamsCostWhatTheyHoldNotWhatTheyPromise) {
    constexpr int64_t kMB = 1 << 20;
    const struct {
        const char* name;
        std::function<std::string()> file;
        int32_t pages;
        uint64_t work;       // the most the object stream cache may decode; 0: its own bound
        int64_t peakGrowth;  // 0: not measured
    } cases[] = {
        // The catalog in an object stream of about 32 MB decoded whose header is all numbers:
        // reading them as objects once took about 50 times that. The bound: the decoded
        // stream, a copy of it on the way, and room for the sanitizers.
        {"a header run far past N", [] { return testing::IndexBeyondN(32 << 20); }, 1, 0,
         200 * kMB},
        {"an index of six million pairs", [] { return testing::IndexOfManyPairs(6000000); }, 1, 0,
         200 * kMB},
        // Three object streams of 50 MB decoded each, one page after another from each: a
        // cache holding two decodes once decoded one on every page, 3 GB in all. A stream
        // decoded a second time gives up every member at once, so each is decoded twice at
        // most and every page is read.
        {"streams taken in turn", [] { return testing::StreamsInflatingLarge(3, 50 << 20, 60); },
         60, 6 * (51 << 20), 0},
        {"streams of 1 MB, each decoded once",
         [] { return testing::StreamsInflatingLarge(3, 1 << 20, 60); }, 60, 4 << 20, 0},
    };
    for (const auto& c : cases) {
        const std::string file = c.file();
        const testing::TMeasuredRun run = testing::RunMeasured([&] {
            TMemoryStream input(file);
            TPDFDocument document;
            if (document.LoadFromStream(input, u"") != TPDFDocument::kLoaded) return 1;
            if (document.Repaired() || document.PageTreeRebuilt()) return 2;
            if (document.PageTree().TotalPages() != c.pages) return 3;
            const uint64_t bound = TObjectStreamCache::kWorkFactor *
                                   DecodeLimitForInput(static_cast<int64_t>(file.size()));
            const uint64_t work = document.ObjectStreamCache().Work();
            return work <= bound && (c.work == 0 || work <= c.work) ? 0 : 4;
        });
        EXPECT_EQ(run.result, 0) << c.name;
        if (c.peakGrowth > 0) EXPECT_LT(run.peakGrowth, c.peakGrowth) << c.name;
    }
}

}  // namespace
}  // namespace verava
