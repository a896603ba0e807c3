#include "objects/keyword_search.h"

#include <gtest/gtest.h>

#include <random>

namespace verava {
namespace {

TEST(KeywordSearch, AnswersAsAPlainSearchWhateverTheOrderOfQuestions) {
    // A text with the keyword here and there (and overlapping lookalikes), asked from
    // positions in random order: every answer equals std::string_view::find.
    std::mt19937 random(11);
    std::string text;
    for (int i = 0; i < 3000; ++i) {
        const int pick = static_cast<int>(random() % 20);
        text += pick == 0 ? "endstream" : pick == 1 ? "endstrea" : pick == 2 ? "sstream" : "x";
    }
    TKeywordSearch search(text, "stream");
    for (int i = 0; i < 5000; ++i) {
        const size_t from = random() % (text.size() + 3);
        const size_t limit = i % 3 == 0 ? std::string_view::npos : from + random() % 200;
        const size_t plain = std::string_view(text).find("stream", from);
        ASSERT_EQ(search.Find(from, limit), plain < limit ? plain : std::string_view::npos)
            << from << " " << limit;
    }
    TKeywordSearch none("no keyword at all", "stream");
    EXPECT_EQ(none.Find(3), std::string_view::npos);
    EXPECT_EQ(none.Find(0), std::string_view::npos);
}

TEST(KeywordSearch, QuestionsThatJumpAboutSearchEachStretchOnce) {
    // Objects near the start asked in turn with objects near the end (how a page tree whose
    // nodes sit at the end of the file is loaded): the text is searched about once, not
    // once per question.
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "<< /Type /Page >> endobj stream data endstream ";
    const size_t half = text.size();
    text += std::string(half, 'x') + " the end";
    TKeywordSearch search(text, "stream");
    for (size_t at = 0; at < half; at += 97) {
        EXPECT_EQ(search.Find(at), std::string_view(text).find("stream", at));
        EXPECT_EQ(search.Find(half + at), std::string_view::npos);
    }
    EXPECT_LE(search.Scanned(), 2 * text.size());
}

}  // namespace
}  // namespace verava
