#include <gtest/gtest.h>

#include "objects/pdf_structure.h"

namespace verava {
namespace {

TEST(Dictionary, AddEntryReplacesInPlaceAndKeysAreCaseSensitive) {
    TPDFStructure store;
    TPDFDictionary* d = store.NewDictionary();
    EXPECT_EQ(d->AddEntry(store.NewName("A"), store.NewNumeric(1)), -1);
    EXPECT_EQ(d->AddEntry(store.NewName("B"), store.NewNumeric(2)), -1);
    TPDFName* newKey = store.NewName("A");
    EXPECT_EQ(d->AddEntry(newKey, store.NewNumeric(3)), 0);
    ASSERT_EQ(d->EntryCount(), 2);
    EXPECT_EQ(d->EntryAt(0).first, newKey);
    EXPECT_EQ(d->GetInteger("A", 0), 3);
    EXPECT_EQ(d->EntryAt(1).first->Text, "B");
    EXPECT_EQ(d->EntryAt(2).first, nullptr);

    d->SetValue("type", store.NewName("x"));
    EXPECT_EQ(d->GetType(), "");
    d->SetValue("Type", store.NewName("Page"));
    EXPECT_EQ(d->GetType(), "Page");
    EXPECT_NE(d->IndexOf("type"), d->IndexOf("Type"));
}

TEST(Dictionary, LargeDictionariesKeepFirstEntryLookupsThroughChanges) {
    // 50000 keys, one of them twice: parsing stays linear and lookups stay exact as
    // entries are replaced, removed and added.
    std::string text = "<<";
    for (int i = 0; i < 50000; ++i) text += " /K" + std::to_string(i) + " " + std::to_string(i);
    text += " /K7 -7 >>";
    TPDFStructure store;
    auto* d = As<TPDFDictionary>(store.ParseText(text));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->EntryCount(), 50000);
    EXPECT_EQ(d->IndexOf("K7"), 7);
    EXPECT_EQ(d->GetInteger("K7", 0), -7);
    EXPECT_EQ(d->GetInteger("K49999", 0), 49999);
    EXPECT_EQ(d->IndexOf("K50000"), -1);
    d->RemoveKey("K0");
    EXPECT_EQ(d->IndexOf("K7"), 6);
    d->SetValue("New", store.NewNumeric(1));
    EXPECT_EQ(d->IndexOf("New"), 49999);
    d->SetValue("K8", store.NewNumeric(88));
    EXPECT_EQ(d->IndexOf("K8"), 7);
    EXPECT_EQ(d->GetInteger("K8", 0), 88);
    d->ClearEntries();
    EXPECT_EQ(d->IndexOf("K8"), -1);
}

TEST(Dictionary, SetValueOnItselfStoresNothingButMarksModified) {
    TPDFStructure store;
    TPDFDictionary* d = store.NewDictionary();
    d->SetModified(false);
    d->SetValue("Self", d);
    EXPECT_EQ(d->EntryCount(), 0);
    EXPECT_TRUE(d->Modified);
}

TEST(Dictionary, GetValueResolvesThroughTheStoreEvent) {
    TPDFStructure store;
    TPDFNumeric* target = store.NewNumeric(42);
    store.OnResolveReference = [&](TPDFIndRef*, int32_t number, int32_t generation) -> TPDFObject* {
        return number == 7 && generation == 0 ? target : nullptr;
    };
    TPDFDictionary* d = store.NewDictionary();
    d->SetValue("Count", store.NewIndRef(7, 0));
    d->SetValue("Missing", store.NewIndRef(8, 0));
    EXPECT_EQ(d->GetValue("Count", true), target);
    EXPECT_NE(As<TPDFIndRef>(d->GetValue("Count", false)), nullptr);
    EXPECT_EQ(d->GetInteger("Count", -1), 42);
    EXPECT_EQ(d->GetInteger("Missing", -1), -1);
    EXPECT_EQ(d->GetValue("Nothing", true), nullptr);

    TPDFStructure bare;
    EXPECT_EQ(bare.NewIndRef(1, 0)->Resolve(), nullptr);
}

TEST(Dictionary, DeleteKeyKeepsHeldChildrenInTheStore) {
    TPDFStructure store;
    TPDFDictionary* d = store.NewDictionary();
    d->SetValue("N", store.NewNumeric(5));
    TPDFDictionary* inner = store.NewDictionary();
    inner->SetValue("X", store.NewNumeric(1));
    d->SetValue("Inner", inner);
    const int32_t before = store.ObjectCount();
    d->DeleteKey("N");
    EXPECT_EQ(store.ObjectCount(), before);  // numbers stay owned by the store
    EXPECT_EQ(d->IndexOf("N"), -1);
    d->DeleteKey("Inner");
    EXPECT_EQ(d->IndexOf("Inner"), -1);
    // The released dictionary's children stay in the store and keep their values.
    EXPECT_EQ(inner->GetInteger("X", 0), 1);
    EXPECT_EQ(store.ObjectCount(), before);
    d->DeleteKey("Absent");
}

TEST(Dictionary, AssignSharesWithinAStoreAndCopiesAcross) {
    TPDFStructure a;
    TPDFStructure b;
    TPDFDictionary* source = a.NewDictionary();
    source->SetValue("Kids", a.NewArray());
    source->SetValue("Count", a.NewNumeric(2));

    TPDFDictionary* same = a.NewDictionary();
    same->Assign(*source);
    EXPECT_EQ(same->GetValue("Kids"), source->GetValue("Kids"));

    TPDFDictionary* other = b.NewDictionary();
    other->Assign(*source);
    ASSERT_EQ(other->EntryCount(), 2);
    EXPECT_NE(other->GetValue("Kids"), source->GetValue("Kids"));
    EXPECT_EQ(other->GetValue("Kids")->Store(), &b);
    EXPECT_EQ(other->GetInteger("Count", 0), 2);
}

TEST(Dictionary, IsModifiedLooksIntoValuesButNotKeys) {
    TPDFStructure store;
    TPDFDictionary* d = As<TPDFDictionary>(store.ParseText("<< /A [ 1 << /B 2 >> ] >>"));
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->IsModified());
    d->EntryAt(0).first->SetModified(true);
    EXPECT_FALSE(d->IsModified());
    auto* inner = As<TPDFDictionary>(As<TPDFArray>(d->GetValue("A"))->Get(1));
    As<TPDFNumeric>(inner->GetValue("B"))->SetValue(3);
    EXPECT_TRUE(d->IsModified());
}

TEST(Array, InsertDeleteRemoveAndReplace) {
    TPDFStructure store;
    TPDFArray* a = store.NewArray();
    TPDFNumeric* one = store.NewNumeric(1);
    a->Add(one);
    a->Insert(1, store.NewNumeric(3));  // at Count: appends
    a->Insert(3, store.NewNumeric(9));  // beyond Count: nothing
    a->Insert(-1, store.NewNumeric(9));
    a->Insert(1, store.NewNumeric(2));
    EXPECT_EQ(a->ToText(), "[ 1 2 3 ]");
    a->Delete(5);
    a->Delete(0);
    EXPECT_EQ(a->ToText(), "[ 2 3 ]");
    EXPECT_EQ(a->Spare(), 1);
    TPDFNumeric* three = store.NewNumeric(3);
    EXPECT_EQ(a->IndexOfText(three), 1);
    a->Remove(three, false);  // not the same object: nothing
    EXPECT_EQ(a->Count(), 2);
    a->Remove(three, true);
    EXPECT_EQ(a->ToText(), "[ 2 ]");
    a->Replace(0, store.NewName("X"));
    a->Replace(4, store.NewName("Y"));
    EXPECT_EQ(a->ToText(), "[ /X ]");
    EXPECT_EQ(a->Get(1), nullptr);
}

TEST(Array, RemoveByTextMatchesReferencesByNumberAndGeneration) {
    TPDFStructure store;
    auto* kids = As<TPDFArray>(store.ParseText("[ 4 0 R 5 0 R 5 1 R 6 0 R ]"));
    ASSERT_NE(kids, nullptr);
    TPDFIndRef* probe = store.NewIndRef(5, 1);
    EXPECT_EQ(kids->IndexOfText(probe), 2);
    kids->Remove(probe, true);
    EXPECT_EQ(kids->ToText(), "[ 4 0 R 5 0 R 6 0 R ]");
    // A removed reference that is inserted elsewhere is still alive (the array held it).
    TPDFObject* moved = kids->Get(0);
    kids->Remove(moved, true);
    kids->Insert(2, moved);
    EXPECT_EQ(kids->ToText(), "[ 5 0 R 6 0 R 4 0 R ]");
}

TEST(Array, ShiftReferencesRenumbersNestedReferences) {
    TPDFStructure store;
    TPDFObject* o = store.ParseText("[ 1 0 R 2 0 R << /P 3 0 R /N 4 >> ]");
    o->SetModified(false);
    o->ShiftReferences(5);
    EXPECT_EQ(o->ToText(), "[ 6 0 R 7 0 R <<\n/P 8 0 R\n/N 4\n>>\n]");
    EXPECT_TRUE(o->IsModified());
    TPDFArray* empty = store.NewArray();
    empty->SetModified(false);
    empty->ShiftReferences(5);
    EXPECT_FALSE(empty->Modified);
}

TEST(Stream, SetDataKeepsLengthAndHandlesFilter) {
    TPDFStructure store;
    TPDFStream* s = store.NewStream("abc", false);
    EXPECT_EQ(s->StreamDict()->GetInteger("Length", -1), 3);
    s->StreamDict()->SetValue("Filter", store.NewName("ASCIIHexDecode"));
    s->StreamDict()->SetValue("DecodeParms", store.NewDictionary());
    s->SetData("hello", false);
    EXPECT_EQ(s->StreamDict()->IndexOf("Filter"), -1);
    EXPECT_NE(s->StreamDict()->IndexOf("DecodeParms"), -1);
    EXPECT_EQ(s->StreamDict()->GetInteger("Length", -1), 5);
    EXPECT_EQ(s->Data(), "hello");

    s->SetData("hello hello hello hello", true);
    auto* filter = As<TPDFName>(s->StreamDict()->GetValue("Filter"));
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->Text, "FlateDecode");
    EXPECT_EQ(s->StreamDict()->GetInteger("Length", -1), static_cast<int32_t>(s->Data().size()));

    // A Length that is a reference is replaced by a number.
    s->StreamDict()->SetValue("Length", store.NewIndRef(9, 0));
    s->SetRawData(std::string("xy"));
    EXPECT_EQ(s->StreamDict()->GetInteger("Length", -1), 2);
}

TEST(Stream, HoldsAsksItsDictionaryOnly) {
    TPDFStructure store;
    TPDFStream* s = store.NewStream("", false);
    TPDFName* name = store.NewName("X");
    EXPECT_FALSE(s->Holds(s->StreamDict()));
    s->StreamDict()->SetValue("K", name);
    EXPECT_TRUE(s->Holds(name));
}

TEST(Store, ReleaseObjectFreesOnlyUnheldObjects) {
    TPDFStructure store;
    TPDFArray* a = store.NewArray();
    TPDFNumeric* held = store.NewNumeric(1);
    a->Add(held);
    TPDFNumeric* loose = store.NewNumeric(2);
    const int32_t count = store.ObjectCount();
    store.ReleaseObject(held);
    EXPECT_EQ(store.ObjectCount(), count);
    store.ReleaseObject(loose);
    EXPECT_EQ(store.ObjectCount(), count - 1);
    // Releasing the container keeps what it held until the store is cleared.
    a->Release();
    EXPECT_EQ(store.ObjectCount(), count - 2);
    EXPECT_EQ(store.ObjectAt(0), held);
    store.Clear();
    EXPECT_EQ(store.ObjectCount(), 0);
}

TEST(Store, PooledNamesAreSharedAndNeverReleased) {
    TPDFStructure store;
    TPDFName* first = store.CommonName("Type");
    EXPECT_TRUE(first->Shared);
    EXPECT_EQ(store.CommonName("Type"), first);
    TPDFName* custom = store.CommonName("Custom");
    EXPECT_TRUE(custom->Shared);
    EXPECT_NE(store.CommonName("Custom"), custom);
    EXPECT_FALSE(TPDFStructure::IsPooledName("Typ"));
    EXPECT_TRUE(TPDFStructure::IsPooledName("Brannock"));
    const int32_t count = store.ObjectCount();
    store.ReleaseObject(first);
    EXPECT_EQ(store.ObjectCount(), count);
    // A parsed name that comes first in creation order becomes the pooled one.
    TPDFStructure parsed;
    TPDFName* fromFile = parsed.NewName("Length");
    EXPECT_EQ(parsed.CommonName("Length"), fromFile);
    EXPECT_TRUE(fromFile->Shared);
}

TEST(Store, GrowsInStepsOfAThousandSlots) {
    TPDFStructure store;
    store.NewNull();
    EXPECT_EQ(store.Spare, 999);
    for (int i = 0; i < 900; ++i) store.NewNull();
    EXPECT_EQ(store.Spare, 99);
    store.NewNull();
    EXPECT_EQ(store.Spare, 999);  // topped up to 1000 before the adopt
    EXPECT_EQ(store.ObjectCount(), 902);
}

TEST(Store, FactoriesBuildArraysFromLists) {
    TPDFStructure store;
    EXPECT_EQ(store.NewRefArray({{1, 0}, {2, 0}, {3, 0}}, 1)->ToText(), "[ 1 0 R 2 0 R ]");
    EXPECT_EQ(store.NewIntegerArray({0, 0, 612, 792}, 3)->ToText(), "[ 0 0 612 792 ]");
    EXPECT_EQ(store.NewRealArray({0.5, 1.25}, 1)->ToText(), "[ 0.5 1.25 ]");
    TPDFDictionary* d = store.NewDictionary();
    TPDFStream* s = store.NewStreamWith(d, ByteSlice(std::string("xyz")));
    EXPECT_EQ(s->StreamDict(), d);
    EXPECT_EQ(s->Data(), "xyz");
    EXPECT_EQ(d->IndexOf("Length"), -1);
}

TEST(Numeric, AsIntegerRoundsHalfToEven) {
    TPDFStructure store;
    EXPECT_EQ(store.NewNumeric(2.5)->AsInteger(), 2);
    EXPECT_EQ(store.NewNumeric(3.5)->AsInteger(), 4);
    EXPECT_EQ(store.NewNumeric(-1.5)->AsInteger(), -2);
    EXPECT_EQ(store.NewNumeric(1e300)->AsInteger(), 0);
    TPDFNumeric* n = store.NewNumeric(1);
    n->SetModified(false);
    n->SetValue(2);
    EXPECT_TRUE(n->IsModified());
    TPDFBoolean* b = store.NewBoolean(false);
    b->Truth = true;
    EXPECT_FALSE(b->IsModified());
}

TEST(String, GetUnicodeDecodesTextStrings) {
    TPDFStructure store;
    EXPECT_EQ(store.NewString(std::string("\xFE\xFF\x4E\x2D", 4), true)->GetUnicode(), u"\u4E2D");
    EXPECT_EQ(store.NewString("abc", false)->GetUnicode(), u"abc");
}

}  // namespace
}  // namespace verava
