#include "document/pdf_ind_obj.h"

#include <gtest/gtest.h>

#include <map>

#include "support/pdf_builder.h"

namespace verava {
namespace {

// The document side of indirect objects, over a file image and a number -> object map.
class FakeOwner : public IPDFObjectOwner {
  public:
    explicit FakeOwner(std::string bytes) : file_(SharedBytes::FromString(std::move(bytes))) {
        store_.OnResolveReference = [this](TPDFIndRef*, int32_t n, int32_t) -> TPDFObject* {
            TPDFIndObj* o = FindObject(n);
            return o != nullptr ? o->GetObject() : nullptr;
        };
    }
    TPDFIndObj& AddAt(int32_t number, int64_t offset, int32_t generation = 0) {
        auto o = std::make_unique<TPDFIndObj>(this, number, generation);
        o->Offset = offset;
        TPDFIndObj& ref = *o;
        objects_[number] = std::move(o);
        return ref;
    }
    TPDFIndObj& AddCompressed(int32_t number, int32_t stream, int32_t index) {
        TPDFIndObj& o = AddAt(number, 0);
        o.Compressed = true;
        o.StreamNumber = stream;
        o.StreamIndex = index;
        return o;
    }
    const SharedBytes& FileBuffer() const override { return file_; }
    TPDFStructure& ObjectStore() override { return store_; }
    TPDFIndObj* FindObject(int32_t number) override {
        auto it = objects_.find(number);
        return it == objects_.end() ? nullptr : it->second.get();
    }
    bool NeedsDecryption() override { return decrypt; }
    void DecryptIndirect(TPDFIndObj& object) override { decrypted.push_back(object.Number); }
    TObjectStreamCache& ObjectStreamCache() override { return cache_; }

    bool decrypt = false;
    std::vector<int32_t> decrypted;

  private:
    SharedBytes file_;
    TPDFStructure store_;
    std::map<int32_t, std::unique_ptr<TPDFIndObj>> objects_;
    TObjectStreamCache cache_;
};

TEST(IndirectObject, FindsItsHeaderNearTheStatedOffset) {
    const std::string pad = "%PDF-1.4\n% padding line\n";
    const std::string file = pad + "12 0 obj\n<< /A 1 >>\nendobj\n";
    const int64_t at = static_cast<int64_t>(pad.size());
    struct Case {
        int64_t offset;
        bool loads;
    } cases[] = {{at, true}, {at + 7, true}, {at - 5, true}, {at + 20, false}, {at + 10, false}};
    for (const Case& c : cases) {
        FakeOwner owner(file);
        TPDFIndObj& o = owner.AddAt(12, c.offset);
        TPDFObject* value = o.GetObject();
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(As<TPDFDictionary>(value) != nullptr, c.loads) << c.offset;
        EXPECT_EQ(o.Failed, !c.loads);
        EXPECT_TRUE(value->Indirect);
        EXPECT_EQ(value->ObjectNumber, 12);
    }
    // A header that names another object or generation does not match.
    FakeOwner owner(file);
    EXPECT_TRUE(owner.AddAt(13, at).GetObject() != nullptr && owner.FindObject(13)->Failed);
    EXPECT_TRUE(owner.AddAt(12, at, 1).GetObject() != nullptr && owner.FindObject(12)->Failed);
}

TEST(IndirectObject, AcceptsHeadersGluedToTheirValue) {
    for (const char* text :
         {"7 0 obj<</A 1>>", "7 0 obj[1 2]", "7 0 obj(s)", "7 0 obj/N", "7 0 obj 5"}) {
        FakeOwner owner(std::string("%PDF-1.4\n") + text + "\nendobj\n");
        TPDFIndObj& o = owner.AddAt(7, 9);
        o.GetObject();
        EXPECT_FALSE(o.Failed) << text;
    }
    FakeOwner owner("%PDF-1.4\n7 0 obj% c\n1\nendobj\n");
    owner.AddAt(7, 9).GetObject();
    EXPECT_TRUE(owner.FindObject(7)->Failed);
}

std::string StreamObject(int number, const std::string& dict, const std::string& data,
                         const std::string& end = "\nendstream\nendobj\n") {
    return std::to_string(number) + " 0 obj\n<< " + dict + " >>\nstream\n" + data + end;
}

TEST(IndirectObject, StreamDataFollowLengthOrEndstream) {
    const std::string head = "%PDF-1.4\n";
    struct Case {
        std::string dict;
        std::string data;
        std::string end;
        std::string expected;
    } cases[] = {
        // (Where the data lie: FindStreamExtent's table. Here the Length the object gets, and
        // the values the object follows to it.)
        {"/Length 5", "hello", "\nendstream\nendobj\n", "hello"},
        {"/Length 3", "hello", "\nendstream\nendobj\n", "hello"},  // too short
        {"", "hello", "\r\nendstream\nendobj\n", "hello\r\n"},     // no Length
        {"/Length 3", "hello", "", "hel"},                         // a file cut inside the data
        // A Length that is no number: up to "endstream".
        {"/Length (x)", "hello", "\nendstream\nendobj\n", "hello\n"},
    };
    for (const Case& c : cases) {
        FakeOwner owner(head + StreamObject(3, c.dict, c.data, c.end));
        auto* s = As<TPDFStream>(owner.AddAt(3, 9).GetObject());
        ASSERT_NE(s, nullptr) << c.dict;
        EXPECT_EQ(s->Data(), c.expected) << c.dict;
        EXPECT_EQ(s->StreamDict()->GetInteger("Length", -1),
                  static_cast<int32_t>(c.expected.size()));
        EXPECT_FALSE(s->IsModified());
    }
    // "endobj" before "stream": no stream.
    FakeOwner plain(
        head +
        "3 0 obj\n<< /A 1 >>\nendobj\n4 0 obj\n<< /Length 1 >>\nstream\nx\nendstream\nendobj\n");
    EXPECT_NE(As<TPDFDictionary>(plain.AddAt(3, 9).GetObject()), nullptr);
}

TEST(IndirectObject, IndirectLengthsAreFollowedAndCyclesStop) {
    const std::string head = "%PDF-1.4\n";
    const std::string s1 = StreamObject(3, "/Length 4 0 R", "hello world");
    const std::string len = "4 0 obj\n5\nendobj\n";
    FakeOwner owner(head + s1 + len);
    owner.AddAt(3, 9);
    owner.AddAt(4, static_cast<int64_t>(head.size() + s1.size()));
    auto* s = As<TPDFStream>(owner.FindObject(3)->GetObject());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Data(), "hello world");  // 5 is wrong: cut at endstream
    // A Length naming a missing object counts as absent.
    FakeOwner missing(head + StreamObject(3, "/Length 9 0 R", "abc"));
    EXPECT_EQ(As<TPDFStream>(missing.AddAt(3, 9).GetObject())->Data(), "abc\n");
    // A stream whose Length names itself: no endless recursion, and no number.
    FakeOwner self(head + StreamObject(3, "/Length 3 0 R", "abc"));
    EXPECT_EQ(As<TPDFStream>(self.AddAt(3, 9).GetObject())->Data(), "abc\n");
    // Lengths that refer to each other in a loop: both streams keep their data.
    FakeOwner loop(head + StreamObject(3, "/Length 4 0 R", "hello") +
                   StreamObject(4, "/Length 3 0 R", "world"));
    TPDFIndObj& three = loop.AddAt(3, 9);
    loop.AddAt(4, static_cast<int64_t>(loop.FileBuffer().View().find("4 0 obj")));
    EXPECT_EQ(As<TPDFStream>(three.GetObject())->Data(), "hello\n");
    EXPECT_EQ(As<TPDFStream>(loop.FindObject(4)->GetObject())->Data(), "world\n");
}

TEST(IndirectObject, StreamDataShareTheFileBuffer) {
    const std::string head = "%PDF-1.4\n";
    FakeOwner owner(head + StreamObject(3, "/Length 5", "hello"));
    auto* s = As<TPDFStream>(owner.AddAt(3, 9).GetObject());
    ASSERT_NE(s, nullptr);
    const char* fileBytes = owner.FileBuffer().data();
    EXPECT_GE(s->Data().data(), fileBytes);
    EXPECT_LT(s->Data().data(), fileBytes + owner.FileBuffer().size());
}

TEST(IndirectObject, CompressedObjectsComeFromTheirObjectStream) {
    testing::PdfBuilder b;
    b.Set(1, "<< /Type /Catalog >>");
    b.Set(2, "<< /A 2 >>");
    b.Set(3, "[ 3 3 3 ]");
    b.Compress(2);
    b.Compress(3);
    const std::string file = b.Build(testing::XRefKind::Stream);
    const int objStm = 4;
    FakeOwner owner(file);
    owner.AddAt(objStm, b.OffsetOf(objStm));
    TPDFIndObj& two = owner.AddCompressed(2, objStm, 0);
    TPDFIndObj& three = owner.AddCompressed(3, objStm, 1);
    EXPECT_EQ(two.GetObject()->ToText(), "<<\n/A 2\n>>\n");
    EXPECT_EQ(three.GetObject()->ToText(), "[ 3 3 3 ]");
    EXPECT_TRUE(three.Decrypted);
    EXPECT_EQ(owner.ObjectStreamCache().size(), 1u);  // decoded once
    EXPECT_EQ(three.GetObjectText().substr(0, 8), "3 0 obj\r");

    // Index beyond N, a table naming another number, a missing container: null.
    FakeOwner bad(file);
    bad.AddAt(objStm, b.OffsetOf(objStm));
    EXPECT_NE(As<TPDFNull>(bad.AddCompressed(2, objStm, 2).GetObject()), nullptr);
    EXPECT_NE(As<TPDFNull>(bad.AddCompressed(3, objStm, 0).GetObject()), nullptr);
    EXPECT_NE(As<TPDFNull>(bad.AddCompressed(5, 99, 0).GetObject()), nullptr);
    EXPECT_EQ(bad.AddCompressed(6, 6, 0).GetObjectText(), "6 0 obj\rnull\rendobj");
}

TEST(IndirectObject, DecodedObjectStreamsStayWithinTheirBudget) {
    // Two object streams of about 2 KB decoded each and a cache that holds 3 KB: decoding one
    // drops the other, whose objects still load (decoded again) when asked for.
    const std::string pad(2000, 'x');
    auto objectStream = [&](int a, int b) {
        const std::string bodyA = "<< /A " + std::to_string(a) + " /Pad (" + pad + ") >>\n";
        const std::string head =
            std::to_string(a) + " 0 " + std::to_string(b) + " " + std::to_string(bodyA.size()) + " ";
        return testing::PdfBuilder::StreamBody(
            "/Type /ObjStm /N 2 /First " + std::to_string(head.size()),
            head + bodyA + "<< /A " + std::to_string(b) + " >>");
    };
    testing::PdfBuilder builder;
    builder.Set(10, objectStream(2, 5));
    builder.Set(11, objectStream(3, 6));
    FakeOwner owner(builder.Build());
    owner.ObjectStreamCache().SetBudget(3000);
    owner.AddAt(10, builder.OffsetOf(10));
    owner.AddAt(11, builder.OffsetOf(11));
    const struct {
        int32_t number, stream, index;
    } order[] = {{2, 10, 0}, {3, 11, 0}, {5, 10, 1}, {6, 11, 1}};
    for (const auto& o : order) {
        auto* dict = As<TPDFDictionary>(owner.AddCompressed(o.number, o.stream, o.index).GetObject());
        ASSERT_NE(dict, nullptr) << o.number;
        EXPECT_EQ(dict->GetInteger("A", 0), o.number);
        EXPECT_LE(owner.ObjectStreamCache().HeldBytes(), 3000u) << o.number;
    }
    EXPECT_EQ(owner.ObjectStreamCache().size(), 2u);
    // With room for both, nothing is dropped.
    FakeOwner roomy(builder.Build());
    roomy.AddAt(10, builder.OffsetOf(10));
    roomy.AddAt(11, builder.OffsetOf(11));
    for (const auto& o : order) roomy.AddCompressed(o.number, o.stream, o.index).GetObject();
    EXPECT_GT(roomy.ObjectStreamCache().HeldBytes(), 4000u);
}

TEST(IndirectObject, DecryptsOnceOnFirstFetch) {
    FakeOwner owner("%PDF-1.4\n1 0 obj\n(secret)\nendobj\n");
    owner.decrypt = true;
    TPDFIndObj& o = owner.AddAt(1, 9);
    o.GetObject();
    o.GetObject();
    EXPECT_EQ(owner.decrypted, std::vector<int32_t>{1});
    // Re-parsing from the file brings back the stored form, to be decrypted again.
    o.LoadObject();
    o.GetObject();
    EXPECT_EQ(owner.decrypted.size(), 2u);
}

}  // namespace
}  // namespace verava
