#include "merge/smart_pdf_document.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "objects/stream.h"
#include "support/object_values.h"
#include "support/pdf_builder.h"

namespace verava {
namespace {

using testing::Number;
using testing::Numbers;
using testing::PdfBuilder;
using testing::RefNumber;
using testing::RefNumbers;

// One merge input held in memory: its reader and its merge document.
struct Input {
    explicit Input(std::string bytes)
        : stream(std::move(bytes)), reader(stream), document(reader) {}
    TMemoryStream stream;
    TSmartPDFReader reader;
    TSmartPDFDocument document;
};

std::unique_ptr<Input> Open(PdfBuilder& builder) {
    return std::make_unique<Input>(builder.Build());
}

// A file whose objects are given as (number, body); the catalog is object 1.
PdfBuilder Objects(const std::vector<std::pair<int, std::string>>& objects,
                   const std::string& trailer = "/Root 1 0 R") {
    PdfBuilder b;
    for (const auto& [number, body] : objects) b.Set(number, body);
    b.TrailerEntries = trailer;
    return b;
}

TPDFDictionary* Dict(Input& in, int32_t n) { return As<TPDFDictionary>(in.document.GetObject(n)); }

std::vector<int32_t> Recorded(Input& in) {
    std::vector<int32_t> out;
    for (int32_t n = 1; n <= in.document.HighestObjectNumber(); ++n) {
        if (in.document.IsRecorded(n)) out.push_back(n);
    }
    return out;
}

const std::vector<double> kLetter = {0, 0, 612, 792};
const std::vector<double> kA4 = {0, 0, 595, 842};

// ---- construction and queries

TEST(SmartPDFDocument, FindsCatalogPageTreeFormAndInfo) {
    {
        // Everything as separate objects.
        PdfBuilder b = Objects({{1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 3 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                                {3, "<< /Fields [ ] >>"},
                                {4, "<< /Title (t) >>"}},
                               "/Root 1 0 R /Info 4 0 R");
        auto in = Open(b);
        TSmartPDFDocument& d = in->document;
        EXPECT_EQ(RefNumber(d.RootRef), 1);
        EXPECT_EQ(d.RootDict, Dict(*in, 1));
        EXPECT_EQ(RefNumber(d.PagesRef), 2);
        EXPECT_EQ(d.PagesDict, Dict(*in, 2));
        EXPECT_EQ(RefNumber(d.AcroFormRef), 3);
        EXPECT_TRUE(d.HasAcroForm());
        EXPECT_EQ(RefNumber(d.InfoRef), 4);
        ASSERT_NE(d.InfoDict, nullptr);
        EXPECT_NE(d.InfoDict->IndexOf("Title"), -1);
        EXPECT_EQ(d.PageCount(), 0);
        EXPECT_TRUE(Recorded(*in).empty());
    }
    {
        // A form inside the catalog is reached through the catalog's own reference.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R /AcroForm << /Fields [ ] >> >>"},
                                {2, "<< /Type /Pages /Kids [ ] /Count 5 0 R >>"},
                                {5, "7"}});
        auto in = Open(b);
        EXPECT_EQ(in->document.AcroFormRef, in->document.RootRef);
        EXPECT_TRUE(in->document.HasAcroForm());
        EXPECT_EQ(in->document.PageCount(), 7);  // Count through a reference
    }
    {
        // A page tree given directly in the catalog is not used; the count falls back to 1.
        PdfBuilder b = Objects({{1, "<< /Pages << /Type /Pages /Kids [ ] /Count 4 >> >>"}});
        auto in = Open(b);
        EXPECT_EQ(in->document.PagesRef, nullptr);
        EXPECT_EQ(in->document.PagesDict, nullptr);
        EXPECT_EQ(in->document.PageCount(), 1);
        EXPECT_FALSE(in->document.HasAcroForm());
    }
    {
        // No Root at all.
        PdfBuilder b = Objects({{1, "<< /Type /Catalog >>"}}, "");
        auto in = Open(b);
        EXPECT_EQ(in->document.RootDict, nullptr);
        EXPECT_EQ(in->document.PageCount(), 1);
    }
}

TEST(SmartPDFDocument, IsPageTakesTypePageOrContents) {
    PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                            {2, "<< /Type /Pages /Kids [ 3 0 R 4 0 R 5 0 R ] /Count 2 >>"},
                            {3, "<< /Type /Page >>"},
                            {4, "<< /Contents 6 0 R >>"},
                            {5, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                            {6, "[ ]"}});
    auto in = Open(b);
    TPDFStructure s;
    EXPECT_TRUE(in->document.IsPage(s.NewIndRef(3, 0)));
    EXPECT_TRUE(in->document.IsPage(s.NewIndRef(4, 0)));
    EXPECT_FALSE(in->document.IsPage(s.NewIndRef(5, 0)));
    EXPECT_FALSE(in->document.IsPage(s.NewIndRef(6, 0)));
    EXPECT_FALSE(in->document.IsPage(s.NewIndRef(99, 0)));
    EXPECT_FALSE(in->document.IsPage(nullptr));
}

TEST(SmartPDFDocument, RecordedObjectsReplaceTheFileAndCopiesGoToTheCallersStore) {
    PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                            {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                            {3, "<< /Old true >>"}});
    auto in = Open(b);
    TSmartPDFDocument& d = in->document;
    EXPECT_EQ(d.HighestObjectNumber(), 3);

    TPDFDictionary* changed = d.LocalStructure->NewDictionary();
    changed->SetValue("New", d.LocalStructure->NewBoolean(true));
    d.RegisterObject(3, changed);
    EXPECT_EQ(d.GetObject(3), changed);
    TPDFStructure store;
    auto* copy = As<TPDFDictionary>(d.GetObject(3, &store));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, changed);
    EXPECT_EQ(copy->Store(), &store);
    EXPECT_EQ(copy->ToText(), changed->ToText());

    // A new object takes the next number; a recorded stream is handed out itself.
    TPDFStream* stream = d.LocalStructure->NewStream("data", false);
    TPDFIndRef* ref = d.AddObject(stream);
    EXPECT_EQ(ref->TargetNumber, 4);
    EXPECT_EQ(ref->TargetGeneration, 0);
    EXPECT_EQ(d.HighestObjectNumber(), 4);
    EXPECT_EQ(d.GetObject(4, &store), stream);

    // Objects not recorded come from the file, parsed into the store given.
    auto* fresh = As<TPDFDictionary>(d.GetObject(2, &store));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->Store(), &store);
    EXPECT_EQ(Recorded(*in), (std::vector<int32_t>{3, 4}));
}

// ---- page tree edits

TEST(SmartPDFDocument, AppendKidAddsTheTreeAndRaisesTheCount) {
    {
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ 3 0 R 4 0 R ] /Count 2 >>"},
                                {3, "<< /Type /Page /Parent 2 0 R >>"},
                                {4, "<< /Type /Page /Parent 2 0 R >>"}});
        auto in = Open(b);
        in->document.AppendKid(50, 1, 3);
        TPDFDictionary* root = Dict(*in, 2);
        EXPECT_EQ(RefNumbers(root->GetValue("Kids")), (std::vector<int32_t>{3, 4, 50}));
        EXPECT_EQ(As<TPDFIndRef>(As<TPDFArray>(root->GetValue("Kids"))->Get(2))->TargetGeneration,
                  1);
        EXPECT_EQ(Number(root->GetValue("Count")), 5);
        EXPECT_EQ(Recorded(*in), std::vector<int32_t>{2});
    }
    {
        // Kids as an object of its own: that object is written from its record.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                                {2, "<< /Type /Pages /Kids 5 0 R /Count 1 >>"},
                                {3, "<< /Type /Page /Parent 2 0 R >>"},
                                {5, "[ 3 0 R ]"}});
        auto in = Open(b);
        in->document.AppendKid(9, 0, 2);
        EXPECT_EQ(RefNumbers(in->document.GetObject(5)), (std::vector<int32_t>{3, 9}));
        EXPECT_EQ(Number(Dict(*in, 2)->GetValue("Count")), 3);
        EXPECT_EQ(Recorded(*in), (std::vector<int32_t>{2, 5}));
    }
    {
        // A root without a Kids array cannot take another tree; a Kids reference to a missing
        // object must not record anything under that number either.
        for (const char* kids : {"", "/Kids 4 0 R", "/Kids 900000 0 R"}) {
            PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                                    {2, std::string("<< /Type /Pages /Count 1 ") + kids + " >>"},
                                    {4, "<< /NotAnArray true >>"}});
            auto in = Open(b);
            in->document.AppendKid(9, 0, 2);
            EXPECT_EQ(Number(Dict(*in, 2)->GetValue("Count")), 1) << kids;
            EXPECT_EQ(in->document.HighestObjectNumber(), 4) << kids;
        }
    }
}

TEST(SmartPDFDocument, SetParentMakesTheRootAPagesNode) {
    for (const char* type : {"/Type /Pages", "/Type /Catalog", ""}) {
        PdfBuilder b = Objects(
            {{1, "<< /Pages 2 0 R >>"}, {2, std::string("<< ") + type + " /Kids [ ] /Count 0 >>"}});
        auto in = Open(b);
        in->document.SetParent(-7, 0);
        TPDFDictionary* root = Dict(*in, 2);
        EXPECT_EQ(root->GetType(), "Pages") << type;
        EXPECT_EQ(RefNumber(root->GetValue("Parent")), -7) << type;
        EXPECT_EQ(Recorded(*in), std::vector<int32_t>{2}) << type;
    }
}

// The second input's root MediaBox must go down to its pages before its tree hangs under
// another root.
TEST(SmartPDFDocument, CopyInheritedAttributesGivesEveryPageItsOwnBoxesAndRotation) {
    {
        // Root MediaBox A4, pages with none: each gets A4 as MediaBox and CropBox, Rotate 0.
        PdfBuilder b = Objects(
            {{1, "<< /Pages 2 0 R >>"},
             {2, "<< /Type /Pages /MediaBox [0 0 595 842] /Kids [ 3 0 R 4 0 R ] /Count 2 >>"},
             {3, "<< /Type /Page /Parent 2 0 R >>"},
             {4, "<< /Type /Page /Parent 2 0 R >>"}});
        auto in = Open(b);
        in->document.CopyInheritedAttributes();
        for (int32_t n : {3, 4}) {
            TPDFDictionary* page = Dict(*in, n);
            EXPECT_EQ(Numbers(page->GetValue("MediaBox")), kA4) << n;
            EXPECT_EQ(page->GetValue("CropBox"), page->GetValue("MediaBox")) << n;
            EXPECT_EQ(Number(page->GetValue("Rotate")), 0) << n;
            EXPECT_TRUE(in->document.IsRecorded(n)) << n;
        }
    }
    {
        // Nothing anywhere: US Letter, shared by the pages, as MediaBox and CropBox.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ 3 0 R 4 0 R ] /Count 2 >>"},
                                {3, "<< /Type /Page /Parent 2 0 R >>"},
                                {4, "<< /Type /Page /Parent 2 0 R >>"}});
        auto in = Open(b);
        in->document.CopyInheritedAttributes();
        TPDFDictionary* first = Dict(*in, 3);
        TPDFDictionary* second = Dict(*in, 4);
        EXPECT_EQ(Numbers(first->GetValue("MediaBox")), kLetter);
        EXPECT_EQ(first->GetValue("CropBox"), first->GetValue("MediaBox"));
        EXPECT_EQ(first->GetValue("MediaBox"), second->GetValue("MediaBox"));
    }
    {
        // Values come from the nearest ancestor that has them, through references.
        PdfBuilder b = Objects(
            {{1, "<< /Pages 2 0 R >>"},
             {2,
              "<< /Type /Pages /Rotate 90 /CropBox 6 0 R /MediaBox [0 0 1 1] /Kids [ 3 0 R ] "
              "/Count 1 >>"},
             {3,
              "<< /Type /Pages /Parent 2 0 R /MediaBox [0 0 595 842] /Kids [ 4 0 R ] /Count 1 "
              ">>"},
             {4, "<< /Type /Page /Parent 3 0 R >>"},
             {6, "[ 10 10 500 700 ]"}});
        auto in = Open(b);
        in->document.CopyInheritedAttributes();
        TPDFDictionary* page = Dict(*in, 4);
        EXPECT_EQ(Numbers(page->GetValue("MediaBox")), kA4);
        EXPECT_EQ(Numbers(page->GetValue("CropBox")), (std::vector<double>{10, 10, 500, 700}));
        EXPECT_EQ(Number(page->GetValue("Rotate")), 90);
        // Every ancestor visited is recorded with the page.
        EXPECT_EQ(Recorded(*in), (std::vector<int32_t>{2, 3, 4}));
    }
    {
        // A page with MediaBox and CropBox but no Rotate anywhere is recorded with Rotate 0;
        // a page that has all three is left alone.
        PdfBuilder b = Objects(
            {{1, "<< /Pages 2 0 R >>"},
             {2, "<< /Type /Pages /Kids [ 3 0 R 4 0 R ] /Count 2 >>"},
             {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 5 5] /CropBox [1 1 4 4] >>"},
             {4,
              "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 5 5] /CropBox [1 1 4 4] /Rotate 180 "
              ">>"}});
        auto in = Open(b);
        in->document.CopyInheritedAttributes();
        EXPECT_EQ(Number(Dict(*in, 3)->GetValue("Rotate")), 0);
        EXPECT_TRUE(in->document.IsRecorded(3));
        EXPECT_FALSE(in->document.IsRecorded(4));
        EXPECT_EQ(Number(Dict(*in, 4)->GetValue("Rotate")), 180);
    }
    {
        // A page's own MediaBox that is not an array counts as none, as readers take it: the
        // page gets what it then shows, its root's box, and the same CropBox.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ 3 0 R ] /Count 1 /MediaBox 5 0 R >>"},
                                {3, "<< /Type /Page /Parent 2 0 R /MediaBox /Letter >>"},
                                {5, "[0 0 595 842]"}});
        auto in = Open(b);
        in->document.CopyInheritedAttributes();
        TPDFDictionary* page = Dict(*in, 3);
        EXPECT_EQ(Numbers(page->GetValue("MediaBox")), kA4);
        EXPECT_EQ(Numbers(page->GetValue("CropBox")), kA4);
    }
}

TEST(SmartPDFDocument, CopyInheritedAttributesWalksANestedTreeInPageOrder) {
    // Root [ Pages(5, 6), 7 ] with different boxes per branch.
    PdfBuilder b =
        Objects({{1, "<< /Pages 2 0 R >>"},
                 {2, "<< /Type /Pages /MediaBox [0 0 595 842] /Kids [ 3 0 R 7 0 R ] /Count 3 >>"},
                 {3,
                  "<< /Type /Pages /Parent 2 0 R /MediaBox [0 0 100 100] /Kids [ 5 0 R 6 0 R ] "
                  "/Count 2 >>"},
                 {5, "<< /Type /Page /Parent 3 0 R >>"},
                 {6, "<< /Type /Page /Parent 3 0 R /Rotate 270 >>"},
                 {7, "<< /Type /Page /Parent 2 0 R >>"}});
    auto in = Open(b);
    in->document.CopyInheritedAttributes();
    EXPECT_EQ(Numbers(Dict(*in, 5)->GetValue("MediaBox")), (std::vector<double>{0, 0, 100, 100}));
    EXPECT_EQ(Numbers(Dict(*in, 6)->GetValue("MediaBox")), (std::vector<double>{0, 0, 100, 100}));
    EXPECT_EQ(Number(Dict(*in, 6)->GetValue("Rotate")), 270);
    EXPECT_EQ(Numbers(Dict(*in, 7)->GetValue("MediaBox")), kA4);
    for (int32_t n : {5, 6, 7}) EXPECT_TRUE(in->document.IsRecorded(n)) << n;
}

TEST(SmartPDFDocument, FindPageWeighsKidsByTheirCounts) {
    // kids [ Pages(Count 2), Page, Page ]
    PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                            {2, "<< /Type /Pages /Kids [ 3 0 R 6 0 R 7 0 R ] /Count 4 >>"},
                            {3, "<< /Type /Pages /Parent 2 0 R /Kids [ 4 0 R 5 0 R ] /Count 2 >>"},
                            {4, "<< /Type /Page /Parent 3 0 R >>"},
                            {5, "<< /Type /Page /Parent 3 0 R >>"},
                            {6, "<< /Type /Page /Parent 2 0 R >>"},
                            {7, "<< /Contents 8 0 R /Parent 2 0 R >>"},
                            {8, "<< /Length 0 >>\nstream\n\nendstream"}});
    auto in = Open(b);
    const std::vector<std::pair<int32_t, int32_t>> cases = {{1, 4}, {2, 5}, {3, 6}, {4, 7}};
    for (const auto& [n, expected] : cases) {
        EXPECT_EQ(RefNumber(in->document.FindPage(n)), expected) << "page " << n;
    }
    EXPECT_EQ(in->document.FindPage(5), nullptr);
    EXPECT_EQ(in->document.FindPage(0), nullptr);
    // The answer lives in the document's own store, not in the search's scratch store.
    TPDFIndRef* found = in->document.FindPage(3);
    EXPECT_EQ(found->Store(), in->document.LocalStructure.get());
    // The search neither records anything nor changes the tree.
    EXPECT_TRUE(Recorded(*in).empty());
}

TEST(SmartPDFDocument, NextPageFollowsTheParentsKidsOrSearchesAgain) {
    PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                            {2, "<< /Type /Pages /Kids [ 3 0 R 4 0 R ] /Count 2 >>"},
                            {3, "<< /Type /Page /Parent 2 0 R >>"},
                            {4, "<< /Type /Page /Parent 2 0 R >>"},
                            {5, "<< /Type /Page /Parent 2 0 R >>"}});
    auto in = Open(b);
    TPDFStructure s;
    EXPECT_EQ(RefNumber(in->document.NextPage(1, nullptr)), 3);
    EXPECT_EQ(RefNumber(in->document.NextPage(2, s.NewIndRef(3, 0))), 4);
    // Past the end of the parent's Kids the search from the root decides.
    EXPECT_EQ(RefNumber(in->document.NextPage(2, s.NewIndRef(4, 0))), 4);
    // A previous page missing from its parent's Kids yields the parent's first kid.
    EXPECT_EQ(RefNumber(in->document.NextPage(2, s.NewIndRef(5, 0))), 3);
}

TEST(SmartPDFDocument, RootThatIsAPageGetsAPagesNodeAboveIt) {
    PdfBuilder b = Objects({{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                            {2, "<< /Type /Page /MediaBox [0 0 595 842] /Contents 3 0 R >>"},
                            {3, "<< /Length 0 >>\nstream\n\nendstream"}});
    auto in = Open(b);
    TSmartPDFDocument& d = in->document;
    EXPECT_EQ(RefNumber(d.FindPage(1)), 2);
    EXPECT_EQ(RefNumber(d.PagesRef), 4);
    ASSERT_NE(d.PagesDict, nullptr);
    EXPECT_EQ(d.PagesDict->GetType(), "Pages");
    EXPECT_EQ(RefNumbers(d.PagesDict->GetValue("Kids")), std::vector<int32_t>{2});
    EXPECT_EQ(d.PageCount(), 1);
    EXPECT_EQ(RefNumber(Dict(*in, 1)->GetValue("Pages")), 4);
    EXPECT_EQ(Recorded(*in), (std::vector<int32_t>{1, 4}));
    EXPECT_EQ(d.GetObject(4), d.PagesDict);
}

TEST(SmartPDFDocument, FindPageEndsAtNodesWithoutKids) {
    for (const char* node :
         {"<< /Type /Pages /Count 3 >>", "<< /Type /Pages /Kids 9 0 R /Count 3 >>",
          "<< /Type /Pages /Kids /None /Count 3 >>"}) {
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ 3 0 R ] /Count 3 >>"},
                                {3, node}});
        auto in = Open(b);
        EXPECT_EQ(in->document.FindPage(2), nullptr) << node;
    }
    // A root without Kids and without Contents.
    PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Count 3 >>"}});
    auto in = Open(b);
    EXPECT_EQ(in->document.FindPage(1), nullptr);
    EXPECT_EQ(RefNumber(in->document.PagesRef), 2);
}

// ---- loops in the file end every walk

TEST(SmartPDFDocument, LoopingLinksEndEveryWalk) {
    {
        // Parent chain 2 -> 4 -> 2 above a page with no boxes anywhere.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                                {2, "<< /Type /Pages /Parent 4 0 R /Kids [ 3 0 R ] /Count 1 >>"},
                                {3, "<< /Type /Page /Parent 2 0 R >>"},
                                {4, "<< /Type /Pages /Parent 2 0 R >>"}});
        auto in = Open(b);
        EXPECT_EQ(in->document.GetInherited(Dict(*in, 3), "MediaBox"), nullptr);
        in->document.CopyInheritedAttributes();
        EXPECT_EQ(Numbers(Dict(*in, 3)->GetValue("MediaBox")), kLetter);
    }
    {
        // A page that is its own parent.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>"},
                                {3, "<< /Type /Page /Parent 3 0 R >>"}});
        auto in = Open(b);
        EXPECT_EQ(in->document.GetInherited(Dict(*in, 3), "Rotate"), nullptr);
    }
    {
        // Kids lead back to the root, and a node lists itself.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ 3 0 R ] /Count 5 >>"},
                                {3, "<< /Type /Pages /Kids [ 4 0 R ] /Count 5 >>"},
                                {4, "<< /Type /Pages /Kids [ 2 0 R ] /Count 5 >>"},
                                {5, "<< /Pages 6 0 R >>"},
                                {6, "<< /Type /Pages /Kids [ 6 0 R ] /Count 5 >>"}});
        auto in = Open(b);
        EXPECT_EQ(in->document.FindPage(1), nullptr);
        EXPECT_EQ(in->document.FindPage(5), nullptr);
        in->document.CopyInheritedAttributes();  // five searches, each ending
        in->document.PagesDict = Dict(*in, 6);
        in->document.PagesRef = in->document.LocalStructure->NewIndRef(6, 0);
        EXPECT_EQ(in->document.FindPage(1), nullptr);
    }
    {
        // Outline items whose Next chain loops: each item once.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R /Outlines 3 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                                {3, "<< /First 4 0 R /Last 5 0 R /Count 2 >>"},
                                {4, "<< /Title (a) /Parent 3 0 R /Next 5 0 R >>"},
                                {5, "<< /Title (b) /Parent 3 0 R /Next 4 0 R >>"}});
        auto in = Open(b);
        std::vector<int32_t> numbers;
        for (TPDFIndRef* item : in->document.OutlineItems()) numbers.push_back(item->TargetNumber);
        EXPECT_EQ(numbers, (std::vector<int32_t>{4, 5}));
    }
}

TEST(SmartPDFDocument, PageCountFarBeyondThePagesDoesNotStallTheBoxCopy) {
    PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                            {2, "<< /Type /Pages /Kids [ 3 0 R ] /Count 2000000000 >>"},
                            {3, "<< /Type /Page /Parent 2 0 R >>"}});
    auto in = Open(b);
    const auto start = std::chrono::steady_clock::now();
    in->document.CopyInheritedAttributes();
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    EXPECT_LT(seconds.count(), 5.0);
    EXPECT_EQ(Numbers(Dict(*in, 3)->GetValue("MediaBox")), kLetter);
}

TEST(SmartPDFDocument, ParentThatIsNoDictionaryIsNeitherLostNorInvented) {
    {
        // The object a broken Parent names keeps its value in the output.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>"},
                                {3, "<< /Type /Page /Parent 4 0 R >>"},
                                {4, "[ 1 2 3 ]"}});
        auto in = Open(b);
        in->document.CopyInheritedAttributes();
        TPDFStructure store;
        EXPECT_EQ(Numbers(in->document.GetObject(4, &store)), (std::vector<double>{1, 2, 3}));
    }
    {
        // A Parent naming a number no object has adds no objects to the output.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>"},
                                {3, "<< /Type /Page /Parent 800000 0 R >>"}});
        auto in = Open(b);
        in->document.CopyInheritedAttributes();
        EXPECT_EQ(in->document.HighestObjectNumber(), 3);
        EXPECT_EQ(Numbers(Dict(*in, 3)->GetValue("MediaBox")), kLetter);
    }
}

// ---- forms

TEST(SmartPDFDocument, EnsureAcroFormCreatesAnEmptyFormUnderTheNextNumber) {
    {
        PdfBuilder b = Objects({{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                                {40, "<< /Filler true >>"}});
        auto in = Open(b);
        TSmartPDFDocument& d = in->document;
        ASSERT_EQ(d.HighestObjectNumber(), 40);
        d.EnsureAcroForm();
        EXPECT_EQ(RefNumber(d.AcroFormRef), 41);
        EXPECT_EQ(d.HighestObjectNumber(), 41);
        EXPECT_EQ(RefNumber(Dict(*in, 1)->GetValue("AcroForm")), 41);
        TPDFDictionary* form = Dict(*in, 41);
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form, d.AcroFormDict);
        EXPECT_EQ(As<TPDFArray>(form->GetValue("Fields"))->Count(), 0);
        EXPECT_EQ(As<TPDFArray>(form->GetValue("CO"))->Count(), 0);
        EXPECT_FALSE(As<TPDFBoolean>(form->GetValue("NeedAppearances"))->Truth);
        EXPECT_EQ(Recorded(*in), (std::vector<int32_t>{1, 41}));
        // Once there is a form nothing more is made.
        d.EnsureAcroForm();
        EXPECT_EQ(d.HighestObjectNumber(), 41);
    }
    {
        // A form of its own stays as it is.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R /AcroForm 3 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                                {3, "<< /Fields [ ] >>"}});
        auto in = Open(b);
        in->document.EnsureAcroForm();
        EXPECT_EQ(RefNumber(in->document.AcroFormRef), 3);
        EXPECT_EQ(in->document.HighestObjectNumber(), 3);
        EXPECT_TRUE(Recorded(*in).empty());
    }
    {
        // Without a catalog there is nowhere to hang a form.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"}, {2, "[ ]"}}, "/Root 2 0 R");
        auto in = Open(b);
        in->document.EnsureAcroForm();
        EXPECT_FALSE(in->document.HasAcroForm());
        EXPECT_EQ(in->document.HighestObjectNumber(), 2);
    }
}

TEST(SmartPDFDocument, MergeFieldsAppendsShiftedReferencesOnly) {
    TPDFStructure other;
    TPDFArray* fields = As<TPDFArray>(other.ParseText("[ 7 0 R << /T (direct) >> 8 2 R ]"));
    TPDFArray* co = As<TPDFArray>(other.ParseText("[ 8 2 R ]"));
    {
        // Form as an object of its own.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R /AcroForm 3 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                                {3, "<< /Fields [ 5 0 R ] >>"},
                                {5, "<< /T (mine) /FT /Tx >>"}});
        auto in = Open(b);
        in->document.MergeFields(fields, co, true, 100);
        TPDFDictionary* form = Dict(*in, 3);
        EXPECT_EQ(RefNumbers(form->GetValue("Fields")), (std::vector<int32_t>{5, 107, 108}));
        EXPECT_EQ(As<TPDFIndRef>(As<TPDFArray>(form->GetValue("Fields"))->Get(2))->TargetGeneration,
                  2);
        EXPECT_EQ(RefNumbers(form->GetValue("CO")), std::vector<int32_t>{108});
        EXPECT_TRUE(As<TPDFBoolean>(form->GetValue("NeedAppearances"))->Truth);
        EXPECT_EQ(Recorded(*in), std::vector<int32_t>{3});
    }
    {
        // Form inside the catalog: the catalog is recorded, nothing else.
        PdfBuilder b = Objects(
            {{1, "<< /Pages 2 0 R /AcroForm << /Fields [ 5 0 R ] /NeedAppearances true >> >>"},
             {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
             {5, "<< /T (mine) /FT /Tx >>"}});
        auto in = Open(b);
        in->document.MergeFields(fields, co, false, 10);
        EXPECT_EQ(Recorded(*in), std::vector<int32_t>{1});
        auto* form = As<TPDFDictionary>(Dict(*in, 1)->GetValue("AcroForm"));
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(RefNumbers(form->GetValue("Fields")), (std::vector<int32_t>{5, 17, 18}));
        // A false value leaves the first form's own setting alone.
        EXPECT_TRUE(As<TPDFBoolean>(form->GetValue("NeedAppearances"))->Truth);
    }
    {
        // Fields and CO as objects of their own are written from their records too.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R /AcroForm 3 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                                {3, "<< /Fields 4 0 R /CO 6 0 R >>"},
                                {4, "[ 5 0 R ]"},
                                {5, "<< /T (mine) /FT /Tx >>"},
                                {6, "[ ]"}});
        auto in = Open(b);
        in->document.MergeFields(fields, co, false, 10);
        EXPECT_EQ(RefNumbers(in->document.GetObject(4)), (std::vector<int32_t>{5, 17, 18}));
        EXPECT_EQ(RefNumbers(in->document.GetObject(6)), std::vector<int32_t>{18});
        EXPECT_EQ(Recorded(*in), (std::vector<int32_t>{3, 4, 6}));
    }
    {
        // Only direct fields to add: the separate Fields array has nothing new to record.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R /AcroForm 3 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                                {3, "<< /Fields 4 0 R >>"},
                                {4, "[ ]"}});
        auto in = Open(b);
        TPDFArray* direct = As<TPDFArray>(other.ParseText("[ << /T (x) >> ]"));
        in->document.MergeFields(direct, nullptr, false, 10);
        EXPECT_EQ(RefNumbers(in->document.GetObject(4)), std::vector<int32_t>{});
        EXPECT_FALSE(in->document.IsRecorded(4));
    }
    {
        // Without a form of its own, or without fields to add, nothing happens at all.
        PdfBuilder b = Objects({{1, "<< /Pages 2 0 R /AcroForm 3 0 R >>"},
                                {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                                {3, "<< /Fields [ ] >>"}});
        auto in = Open(b);
        in->document.MergeFields(nullptr, co, true, 10);
        EXPECT_TRUE(Recorded(*in).empty());
        EXPECT_EQ(Dict(*in, 3)->GetValue("NeedAppearances"), nullptr);

        PdfBuilder c =
            Objects({{1, "<< /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"}});
        auto none = Open(c);
        none->document.MergeFields(fields, co, true, 10);
        EXPECT_TRUE(Recorded(*none).empty());
    }
}

TEST(SmartPDFDocument, FormArraysAndNeedAppearancesOfTheSecondInput) {
    PdfBuilder b = Objects({{1, "<< /Pages 2 0 R /AcroForm 3 0 R >>"},
                            {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                            {3, "<< /Fields 4 0 R /NeedAppearances 5 0 R >>"},
                            {4, "[ 6 0 R ]"},
                            {5, "true"},
                            {6, "<< /T (f) /FT /Tx >>"}});
    auto in = Open(b);
    EXPECT_EQ(RefNumbers(in->document.FieldsArray()), std::vector<int32_t>{6});
    EXPECT_TRUE(in->document.NeedAppearancesValue());
    ASSERT_NE(in->document.COArray(), nullptr);  // missing: made empty
    EXPECT_EQ(in->document.COArray()->Count(), 0);

    PdfBuilder c = Objects({{1, "<< /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Kids [ ] >>"}});
    auto none = Open(c);
    EXPECT_EQ(none->document.FieldsArray(), nullptr);
    EXPECT_EQ(none->document.COArray(), nullptr);
    EXPECT_FALSE(none->document.NeedAppearancesValue());
}

// ---- outlines

// A: outline root 10 with a1 (11), a2 (12). B: root 5 with b1 (6), b2 (7).
PdfBuilder OutlineFile(bool second, const std::string& rootExtra = "/Last ",
                       const std::string& count = "/Count 2") {
    const int root = second ? 5 : 10;
    const int one = root + 1;
    const int two = root + 2;
    const std::string r = std::to_string(root) + " 0 R";
    const std::string i1 = std::to_string(one) + " 0 R";
    const std::string i2 = std::to_string(two) + " 0 R";
    const std::string last = rootExtra == "/Last " ? "/Last " + i2 : rootExtra;
    return Objects({{1, "<< /Type /Catalog /Pages 2 0 R /Outlines " + r + " >>"},
                    {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                    {root, "<< /Type /Outlines /First " + i1 + " " + last + " " + count + " >>"},
                    {one, "<< /Title (" + std::string(second ? "b1" : "a1") + ") /Parent " + r +
                              " /Next " + i2 + " >>"},
                    {two, "<< /Title (" + std::string(second ? "b2" : "a2") + ") /Parent " + r +
                              " /Prev " + i1 + " >>"}});
}

TEST(SmartPDFDocument, OutlineQueries) {
    PdfBuilder b = OutlineFile(false);
    auto in = Open(b);
    EXPECT_TRUE(in->document.HasOutlines());
    EXPECT_EQ(RefNumber(in->document.OutlinesRef()), 10);
    EXPECT_EQ(RefNumber(in->document.OutlineEntryRef("Last")), 12);
    EXPECT_EQ(in->document.OutlineEntryDict("First"), Dict(*in, 11));
    std::vector<int32_t> items;
    for (TPDFIndRef* item : in->document.OutlineItems()) items.push_back(item->TargetNumber);
    EXPECT_EQ(items, (std::vector<int32_t>{11, 12}));

    // An outline root without a First item holds no outline.
    PdfBuilder c = Objects({{1, "<< /Pages 2 0 R /Outlines 3 0 R >>"},
                            {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                            {3, "<< /Type /Outlines /Count 0 >>"}});
    auto empty = Open(c);
    EXPECT_FALSE(empty->document.HasOutlines());
    EXPECT_TRUE(empty->document.OutlineItems().empty());
}

TEST(SmartPDFDocument, AppendOutlinesChainsTheSecondItemsBehindTheFirst) {
    PdfBuilder ba = OutlineFile(false);
    PdfBuilder bb = OutlineFile(true);
    auto a = Open(ba);
    auto b = Open(bb);
    const int32_t shift = 20;
    a->document.AppendOutlines(b->document, shift);

    // a2 -> b1 (as numbered in the output).
    EXPECT_EQ(RefNumber(Dict(*a, 12)->GetValue("Next")), 6 + shift);
    // b1 <- a2 and both b items under A's root, lowered by the shift that B's references
    // get when they are written.
    EXPECT_EQ(RefNumber(Dict(*b, 6)->GetValue("Prev")), 12 - shift);
    EXPECT_EQ(RefNumber(Dict(*b, 6)->GetValue("Parent")), 10 - shift);
    EXPECT_EQ(RefNumber(Dict(*b, 7)->GetValue("Parent")), 10 - shift);
    // A's root ends at b2 and counts four items.
    EXPECT_EQ(RefNumber(Dict(*a, 10)->GetValue("Last")), 7 + shift);
    EXPECT_EQ(Number(Dict(*a, 10)->GetValue("Count")), 4);
    EXPECT_EQ(Recorded(*a), (std::vector<int32_t>{10, 12}));
    EXPECT_EQ(Recorded(*b), (std::vector<int32_t>{6, 7}));
}

TEST(SmartPDFDocument, AppendOutlinesSkipsThePiecesTheSecondRootLacks) {
    {
        // B's root names no Last: A's Last stays; the count is still added.
        PdfBuilder ba = OutlineFile(false);
        PdfBuilder bb = OutlineFile(true, "", "/Count 3");
        auto a = Open(ba);
        auto b = Open(bb);
        a->document.AppendOutlines(b->document, 20);
        EXPECT_EQ(RefNumber(Dict(*a, 10)->GetValue("Last")), 12);
        EXPECT_EQ(Number(Dict(*a, 10)->GetValue("Count")), 5);
        EXPECT_EQ(RefNumber(Dict(*a, 12)->GetValue("Next")), 26);
    }
    {
        // B's First names no dictionary: no Next/Prev link is made.
        PdfBuilder ba = OutlineFile(false);
        PdfBuilder bb = Objects({{1, "<< /Pages 2 0 R /Outlines 5 0 R >>"},
                                 {2, "<< /Type /Pages /Kids [ ] /Count 0 >>"},
                                 {5, "<< /First 99 0 R /Last 99 0 R /Count 1 >>"}});
        auto a = Open(ba);
        auto b = Open(bb);
        a->document.AppendOutlines(b->document, 20);
        EXPECT_EQ(Dict(*a, 12)->GetValue("Next"), nullptr);
        EXPECT_FALSE(a->document.IsRecorded(12));
        EXPECT_EQ(RefNumber(Dict(*a, 10)->GetValue("Last")), 119);
        EXPECT_EQ(Number(Dict(*a, 10)->GetValue("Count")), 3);
    }
    {
        // A's root without a Count gets B's.
        PdfBuilder ba = OutlineFile(false, "/Last ", "");
        PdfBuilder bb = OutlineFile(true, "/Last ", "/Count -2");
        auto a = Open(ba);
        auto b = Open(bb);
        a->document.AppendOutlines(b->document, 20);
        EXPECT_EQ(Number(Dict(*a, 10)->GetValue("Count")), -2);
    }
}

TEST(SmartPDFDocument, AdoptOutlinesPointsTheCatalogAtTheShiftedRoot) {
    PdfBuilder b = Objects({{1, "<< /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Kids [ ] >>"}});
    auto in = Open(b);
    TPDFStructure s;
    in->document.AdoptOutlines(s.NewIndRef(5, 0), 30);
    EXPECT_EQ(RefNumber(Dict(*in, 1)->GetValue("Outlines")), 35);
    EXPECT_EQ(Recorded(*in), std::vector<int32_t>{1});
}

}  // namespace
}  // namespace verava
