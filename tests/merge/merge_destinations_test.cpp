#include "merge/merge_destinations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "document/pdf_document.h"
#include "merge/merge_streams.h"
#include "merge_test_files.h"
#include "objects/stream.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"

namespace verava {
namespace {

using testing::PdfBuilder;
using testing::SimpleDocument;

TEST(MergeDestinations, ClashingNamesGetTheFirstFreeSuffix) {
    const std::string utf16 = std::string("\xFE\xFF\0I", 4);
    struct Case {
        const char* what;
        std::vector<std::string> taken, own;
        TDestinationRenames renames;
    };
    const Case cases[] = {
        {"no clash", {"a", "b"}, {"c"}, {}},
        {"a clash", {"a", "b"}, {"a", "c"}, {{"a", "a-2"}}},
        {"-2 taken by the first", {"a", "a-2"}, {"a"}, {{"a", "a-3"}}},
        {"-2 and -3 the second's own", {"a"}, {"a", "a-2", "a-3"}, {{"a", "a-4"}}},
        {"two clashes", {"x", "y"}, {"y", "x"}, {{"x", "x-2"}, {"y", "y-2"}}},
        {"UTF-16 text stays UTF-16",
         {utf16},
         {utf16},
         {{utf16, utf16 + std::string{'\0', '-', '\0', '2'}}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlanDestinationRenames(c.taken, c.own), c.renames) << c.what;
}

// The output loaded as a document, and the page a destination reaches.
struct Loaded {
    explicit Loaded(const std::string& bytes) : stream(bytes) {
        loaded = document.LoadFromStream(stream, u"") == TPDFDocument::kLoaded;
        if (loaded) {
            texts = testing::PageLabels(document);
            numbers = document.PageObjectNumbers();
        }
    }

    // A name's destination: strings in the Names tree, names in the Dests dictionary.
    TPDFObject* Lookup(TPDFObject* name) {
        TPDFDictionary* catalog = document.GetRoot();
        if (auto* key = As<TPDFName>(name)) {
            auto* dests = As<TPDFDictionary>(catalog->GetValue("Dests", true));
            return dests != nullptr ? dests->GetValue(key->Text, true) : nullptr;
        }
        auto* key = As<TPDFString>(name);
        auto* names = As<TPDFDictionary>(catalog->GetValue("Names", true));
        auto* node =
            names != nullptr ? As<TPDFDictionary>(names->GetValue("Dests", true)) : nullptr;
        for (int depth = 0; key != nullptr && node != nullptr && depth < 8; ++depth) {
            if (auto* leaves = As<TPDFArray>(node->GetValue("Names", true))) {
                for (int32_t k = 0; k + 1 < leaves->Count(); k += 2) {
                    auto* s = As<TPDFString>(leaves->Get(k));
                    if (s != nullptr && s->Bytes == key->Bytes)
                        return ResolveIfReference(leaves->Get(k + 1));
                }
            }
            auto* kids = As<TPDFArray>(node->GetValue("Kids", true));
            node = kids != nullptr ? As<TPDFDictionary>(ResolveIfReference(kids->Get(0))) : nullptr;
        }
        return nullptr;
    }

    // The text of the page `destination` (explicit, named, or a dictionary with D) reaches;
    // "" when it reaches none.
    std::string Reaches(TPDFObject* destination) {
        destination = ResolveIfReference(destination);
        if (As<TPDFName>(destination) != nullptr || As<TPDFString>(destination) != nullptr)
            destination = Lookup(destination);
        if (auto* d = As<TPDFDictionary>(destination)) destination = d->GetValue("D", true);
        auto* array = As<TPDFArray>(destination);
        auto* page = array != nullptr ? As<TPDFIndRef>(array->Get(0)) : nullptr;
        for (size_t k = 0; page != nullptr && k < numbers.size(); ++k) {
            if (numbers[k] == page->TargetNumber) return texts[k];
        }
        return "";
    }

    std::string ReachesName(const std::string& name, bool asString) {
        TPDFStructure& s = *document.Structure;
        return Reaches(asString ? static_cast<TPDFObject*>(s.NewString(name, false))
                                : s.NewName(name));
    }

    TMemoryStream stream;
    TPDFDocument document;
    bool loaded = false;
    std::vector<std::string> texts;
    std::vector<int32_t> numbers;
};

std::string Merge(const std::string& first, const std::string& second,
                  const TMergeOptions& options) {
    TMemoryStream a(first);
    TMemoryStream b(second);
    TMemoryStream out;
    int32_t code = 0;
    EXPECT_EQ(MergeStreams(a, b, out, code, {}, options), 1);
    return out.Data();
}

// Each name reaches its own page, and so does the second input's link under its new name
// (the peer test follows its other link and its outline item with qpdf).
TEST(MergeDestinations, EveryNameReachesItsOwnPageInEveryOrder) {
    const std::string odd = testing::NamedDestinationsFile("Odd", false).Build();
    const std::string even = testing::NamedDestinationsFile("Even", true).Build();
    for (TMergeOrder order : {TMergeOrder::Sequential, TMergeOrder::Interleaved,
                              TMergeOrder::InterleavedEvenReversed}) {
        TMergeOptions options;
        options.order = order;
        Loaded out(Merge(odd, even, options));
        ASSERT_TRUE(out.loaded);
        const std::string what = "order " + std::to_string(static_cast<int>(order));
        // The first input's names keep theirs; the second's clashing ones end in -2.
        EXPECT_EQ(out.ReachesName("Intro", true), "Odd 1") << what;
        EXPECT_EQ(out.ReachesName("Shared", true), "Odd 2") << what;
        EXPECT_EQ(out.ReachesName("Chapter", false), "Odd 2") << what;
        EXPECT_EQ(out.ReachesName("Intro-2", true), "Even 2") << what;
        EXPECT_EQ(out.ReachesName("Only", true), "Even 1") << what;
        EXPECT_EQ(out.ReachesName("Chapter-2", false), "Even 1") << what;
        // The link on "Even 1" reaches "Even 2" under the new name.
        const auto evenOne = std::find(out.texts.begin(), out.texts.end(), "Even 1");
        ASSERT_NE(evenOne, out.texts.end()) << what;
        auto* page = As<TPDFDictionary>(out.document.ResolveObject(
            out.numbers[static_cast<size_t>(evenOne - out.texts.begin())]));
        auto* annots = As<TPDFArray>(page->GetValue("Annots", true));
        ASSERT_NE(annots, nullptr) << what;
        auto* link = As<TPDFDictionary>(ResolveIfReference(annots->Get(0)));
        EXPECT_EQ(out.Reaches(link->GetValue("Dest")), "Even 2") << what;
    }
    {
        // A first input without names takes the second's as they are.
        Loaded out(Merge(SimpleDocument(1, "Odd").Build(), even, {}));
        ASSERT_TRUE(out.loaded);
        EXPECT_EQ(out.ReachesName("Intro", true), "Even 2");
        EXPECT_EQ(out.ReachesName("Chapter", false), "Even 1");
        EXPECT_EQ(out.ReachesName("Intro-2", true), "");
    }
    {
        // Names only in the first input's dictionary and only in the second's tree: a viewer
        // that looks in one form finds all of them there.
        PdfBuilder dictionaryOnly = SimpleDocument(2, "Odd");
        dictionaryOnly.Set(1, "<< /Type /Catalog /Pages 2 0 R /Dests 9 0 R >>");
        dictionaryOnly.Set(9, "<< /Intro [ 5 0 R /Fit ] /Later [ 7 0 R /Fit ] >>");
        PdfBuilder treeOnly = SimpleDocument(2, "Even");
        treeOnly.Set(1,
                     "<< /Type /Catalog /Pages 2 0 R /Names << /Dests << /Names [ (Intro) "
                     "[ 7 0 R /Fit ] ] >> >> >>");
        Loaded out(Merge(dictionaryOnly.Build(), treeOnly.Build(), {}));
        ASSERT_TRUE(out.loaded);
        for (bool asString : {false, true}) {
            EXPECT_EQ(out.ReachesName("Intro", asString), "Odd 1") << asString;
            EXPECT_EQ(out.ReachesName("Later", asString), "Odd 2") << asString;
            EXPECT_EQ(out.ReachesName("Intro-2", asString), "Even 2") << asString;
        }
    }
    {
        // A destination of a page left out reaches nothing; the rest is as before.
        TMergeOptions options;
        options.order = TMergeOrder::Interleaved;
        options.secondDropped = {2};
        Loaded out(Merge(odd, even, options));
        ASSERT_TRUE(out.loaded);
        EXPECT_EQ(out.texts, (std::vector<std::string>{"Odd 1", "Even 1", "Odd 2"}));
        EXPECT_EQ(out.ReachesName("Intro-2", true), "");
        EXPECT_EQ(out.ReachesName("Chapter-2", false), "Even 1");
        EXPECT_EQ(out.ReachesName("Intro", true), "Odd 1");
    }
}

}  // namespace
}  // namespace verava
