#include "merge/merge_destinations.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
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

// The text of the page a named destination of the merged file reaches ("" for none): a name
// looks in the catalog's Dests, a string in the Names dictionary's Dests tree.
std::string Reaches(TPDFDocument& document, const std::string& name, bool asString) {
    TPDFDictionary* catalog = document.GetRoot();
    TPDFObject* destination = nullptr;
    if (!asString) {
        auto* dests = As<TPDFDictionary>(catalog->GetValue("Dests", true));
        destination = dests != nullptr ? dests->GetValue(name, true) : nullptr;
    }
    auto* names = As<TPDFDictionary>(catalog->GetValue("Names", true));
    auto* node = names != nullptr ? As<TPDFDictionary>(names->GetValue("Dests", true)) : nullptr;
    for (int depth = 0; asString && destination == nullptr && node != nullptr && depth < 8;
         ++depth) {
        auto* leaves = As<TPDFArray>(node->GetValue("Names", true));
        for (int32_t k = 0; leaves != nullptr && destination == nullptr && k + 1 < leaves->Count();
             k += 2) {
            auto* s = As<TPDFString>(leaves->Get(k));
            if (s != nullptr && s->Bytes == name)
                destination = ResolveIfReference(leaves->Get(k + 1));
        }
        auto* kids = As<TPDFArray>(node->GetValue("Kids", true));
        node = kids != nullptr ? As<TPDFDictionary>(ResolveIfReference(kids->Get(0))) : nullptr;
    }
    if (auto* d = As<TPDFDictionary>(destination)) destination = d->GetValue("D", true);
    auto* array = As<TPDFArray>(destination);
    auto* page = array != nullptr ? As<TPDFIndRef>(array->Get(0)) : nullptr;
    const std::vector<int32_t> numbers = document.PageObjectNumbers();
    const std::vector<std::string> texts = testing::PageLabels(document);
    for (size_t k = 0; page != nullptr && k < numbers.size(); ++k) {
        if (numbers[k] == page->TargetNumber) return texts[k];
    }
    return "";
}

// Where both inputs have names the peer test follows every name, link and outline item in
// every order with qpdf; these are the inputs it does not build.
TEST(MergeDestinations, EveryNameReachesItsOwnPage) {
    // Names only in the first input's dictionary and only in the second's tree: a viewer
    // that looks in one form finds all of them there.
    PdfBuilder dictionaryOnly = SimpleDocument(2, "Odd");
    dictionaryOnly.Set(1, "<< /Type /Catalog /Pages 2 0 R /Dests 9 0 R >>");
    dictionaryOnly.Set(9, "<< /Intro [ 5 0 R /Fit ] /Later [ 7 0 R /Fit ] >>");
    PdfBuilder treeOnly = SimpleDocument(2, "Even");
    treeOnly.Set(1,
                 "<< /Type /Catalog /Pages 2 0 R /Names << /Dests << /Names [ (Intro) [ 7 0 R "
                 "/Fit ] ] >> >> >>");
    const std::string even = testing::NamedDestinationsFile("Even", true).Build();
    TMergeOptions dropping;
    dropping.pages = testing::Listed("f1 s1 f2");
    const struct {
        const char* what;
        std::string first, second;
        TMergeOptions options;
        std::vector<std::string> pages;
        // (name, as a string, the page it reaches)
        std::vector<std::tuple<const char*, bool, const char*>> names;
    } cases[] = {
        {"a first input without names takes the second's as they are",
         SimpleDocument(1, "Odd").Build(),
         even,
         {},
         {"Odd 1", "Even 1", "Even 2"},
         {{"Intro", true, "Even 2"}, {"Chapter", false, "Even 1"}, {"Intro-2", true, ""}}},
        {"each form holds every name",
         dictionaryOnly.Build(),
         treeOnly.Build(),
         {},
         {"Odd 1", "Odd 2", "Even 1", "Even 2"},
         {{"Intro", false, "Odd 1"},
          {"Intro", true, "Odd 1"},
          {"Later", false, "Odd 2"},
          {"Later", true, "Odd 2"},
          {"Intro-2", false, "Even 2"},
          {"Intro-2", true, "Even 2"}}},
        {"a destination of a page left out reaches nothing",
         testing::NamedDestinationsFile("Odd", false).Build(),
         even,
         dropping,
         {"Odd 1", "Even 1", "Odd 2"},
         {{"Intro-2", true, ""}, {"Chapter-2", false, "Even 1"}, {"Intro", true, "Odd 1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TMemoryStream a(c.first);
        TMemoryStream b(c.second);
        TMemoryStream out;
        int32_t code = 0;
        ASSERT_EQ(MergeStreams(a, b, out, code, {}, c.options), 1);
        TMemoryStream merged(out.Data());
        TPDFDocument document;
        ASSERT_EQ(document.LoadFromStream(merged, u""), TPDFDocument::kLoaded);
        EXPECT_EQ(testing::PageLabels(document), c.pages);
        for (const auto& [name, asString, page] : c.names)
            EXPECT_EQ(Reaches(document, name, asString), page) << name << " " << asString;
    }
}

}  // namespace
}  // namespace verava
