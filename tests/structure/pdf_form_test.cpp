#include "structure/pdf_form.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "structure/object_table.h"

namespace verava {
namespace {

using testing::TObjectTable;

TEST(Form, AcroFormGainsFieldsCalculationOrderAndResources) {
    {
        // Only Fields: CO = [] and DR = << >> are added.
        TObjectTable table;
        TPDFDictionary* acro = table.AddDict(1, "<< /Fields [] >>");
        TPDFForm form;
        form.LoadAcroForm(acro);
        EXPECT_EQ(form.FormDict(), acro);
        EXPECT_EQ(form.Owner(), &table.Store());
        ASSERT_NE(form.FieldsArray(), nullptr);
        EXPECT_EQ(form.FieldsArray(), acro->GetValue("Fields"));
        const auto* co = As<TPDFArray>(acro->GetValue("CO"));
        ASSERT_NE(co, nullptr);
        EXPECT_EQ(co->Count(), 0);
        EXPECT_EQ(form.CalculationOrder(), co);
        const auto* dr = As<TPDFDictionary>(acro->GetValue("DR"));
        ASSERT_NE(dr, nullptr);
        EXPECT_EQ(dr->EntryCount(), 0);
        EXPECT_EQ(form.Resources(), dr);
        EXPECT_EQ(form.FieldCount(), 0);
    }
    {
        // Nothing at all: Fields is added too.
        TObjectTable table;
        TPDFDictionary* acro = table.AddDict(1, "<< /NeedAppearances true >>");
        TPDFForm form;
        form.LoadAcroForm(acro);
        EXPECT_NE(As<TPDFArray>(acro->GetValue("Fields")), nullptr);
        EXPECT_NE(As<TPDFArray>(acro->GetValue("CO")), nullptr);
        EXPECT_NE(As<TPDFDictionary>(acro->GetValue("DR")), nullptr);
    }
    {
        // Fields is tested before resolving, CO and DR after: a dangling Fields reference
        // stays, dangling CO and DR references are replaced. Resolving ones are kept.
        TObjectTable table;
        TPDFDictionary* acro = table.AddDict(1, "<< /Fields 40 0 R /CO 41 0 R /DR 5 0 R >>");
        TPDFDictionary* dr = table.AddDict(5, "<< /Font << >> >>");
        TPDFForm form;
        form.LoadAcroForm(acro);
        EXPECT_EQ(acro->GetValue("Fields")->ToText(), "40 0 R");
        EXPECT_EQ(form.FieldsArray(), nullptr);
        EXPECT_NE(As<TPDFArray>(acro->GetValue("CO")), nullptr);
        EXPECT_EQ(acro->GetValue("DR")->ToText(), "5 0 R");
        EXPECT_EQ(form.Resources(), dr);
    }
    {
        // CO of the wrong kind is neither replaced nor remembered.
        TObjectTable table;
        TPDFDictionary* acro = table.AddDict(1, "<< /Fields [] /CO 7 /DR [] >>");
        TPDFForm form;
        form.LoadAcroForm(acro);
        EXPECT_EQ(acro->GetValue("CO")->ToText(), "7");
        EXPECT_EQ(form.CalculationOrder(), nullptr);
        EXPECT_EQ(form.Resources(), nullptr);
    }
}

// Object 1 is the AcroForm with Fields [2 0 R]. Each record: its field dictionary, the record
// of its parent field (-1: top level), its type, whether it is its own widget and has kids.
TEST(Form, FieldTreesGiveOneRecordPerFieldOrWidget) {
    struct Record {
        int32_t field, parent;
        uint8_t type;
        bool ownWidget, hasKids;
        int32_t annot = 0;  // the widget's dictionary when it is not the field's own
    };
    const struct {
        const char* what;
        std::vector<std::pair<int32_t, std::string>> objects;
        std::vector<Record> records;
    } cases[] = {
        {"top-level fields lose Parent, nested ones keep it",
         {{2, "<< /FT /Tx /T (top) /Parent 9 0 R /Kids [3 0 R 4 0 R] >>"},
          {3, "<< /T (a) /Parent 2 0 R >>"},
          {4, "<< /T (b) /Parent 2 0 R >>"}},
         {{2, -1, TPDFField::kTypeWithKids, true, true},
          {3, 0, TPDFField::kTypeText, true, false},
          {4, 0, TPDFField::kTypeText, true, false}}},
        {"a text field with two widgets",
         {{2, "<< /FT /Tx /T (name) /Kids [3 0 R 4 0 R] >>"},
          {3, "<< /Type /Annot /Subtype /Widget /Parent 2 0 R /Rect [0 0 10 10] >>"},
          {4, "<< /Type /Annot /Subtype /Widget /Parent 2 0 R /Rect [0 20 10 30] >>"}},
         {{2, -1, TPDFField::kTypeWithKids, true, true},
          {3, 0, TPDFField::kTypeText, true, false},  // FT inherited
          {4, 0, TPDFField::kTypeText, true, false}}},
        {"a text field's only widget kid stays its widget",
         {{2, "<< /FT /Tx /T (name) /Kids [3 0 R] >>"},
          {3, "<< /Type /Annot /Subtype /Widget /Parent 2 0 R /Rect [5 5 50 20] >>"}},
         {{2, -1, TPDFField::kTypeText, false, false, 3}}},
        {"an only kid with its own FT is a field, not the widget",
         {{2, "<< /T (group) /Kids [3 0 R] >>"},
          {3, "<< /FT /Ch /Subtype /Widget /Parent 2 0 R >>"}},
         {{2, -1, TPDFField::kTypeWithKids, true, true},
          {3, 0, TPDFField::kTypeChoice, true, false}}},
        {"radio group kids get no records",
         {{2, "<< /FT /Btn /Ff 32768 /T (choice) /Kids [3 0 R 4 0 R 5 0 R] >>"},
          {3, "<< /Subtype /Widget /Parent 2 0 R >>"},
          {4, "<< /Subtype /Widget /Parent 2 0 R >>"},
          {5, "<< /Subtype /Widget /Parent 2 0 R >>"}},
         {{2, -1, TPDFField::kTypeRadioGroup, true, true}}},
    };
    for (const auto& c : cases) {
        TObjectTable table;
        TPDFDictionary* acro = table.AddDict(1, "<< /Fields [2 0 R] >>");
        for (const auto& [number, text] : c.objects) table.AddDict(number, text);
        TPDFForm form;
        form.LoadAcroForm(acro);
        ASSERT_EQ(form.FieldCount(), static_cast<int32_t>(c.records.size())) << c.what;
        for (int32_t i = 0; i < form.FieldCount(); ++i) {
            const Record& r = c.records[static_cast<size_t>(i)];
            TPDFField* field = form.Field(i);
            const std::string at = std::string(c.what) + ", record " + std::to_string(i);
            EXPECT_EQ(field->FieldDict, table.Dict(r.field)) << at;
            EXPECT_EQ(field->FieldRef->TargetNumber, r.field) << at;
            EXPECT_EQ(field->Form, &form) << at;
            EXPECT_EQ(field->FieldTypeOf(), r.type) << at;
            EXPECT_EQ(field->OwnWidget, r.ownWidget) << at;
            EXPECT_EQ(field->HasKidFields, r.hasKids) << at;
            const int32_t annot = r.annot != 0 ? r.annot : r.field;
            EXPECT_EQ(field->AnnotDict, table.Dict(annot)) << at;
            EXPECT_EQ(field->AnnotRef->TargetNumber, annot) << at;
            if (r.parent < 0) {
                EXPECT_EQ(field->ParentField, nullptr) << at;
                EXPECT_EQ(table.Dict(r.field)->IndexOf("Parent"), -1) << at;
            } else {
                EXPECT_EQ(field->ParentField, form.Field(r.parent)) << at;
                EXPECT_EQ(table.Dict(r.field)->GetValue("Parent")->ToText(),
                          std::to_string(c.records[static_cast<size_t>(r.parent)].field) + " 0 R")
                    << at;
            }
        }
    }
    // The field with kids is a text field underneath.
    TObjectTable table;
    TPDFDictionary* acro = table.AddDict(1, "<< /Fields [2 0 R] >>");
    table.AddDict(2, "<< /FT /Tx /Kids [3 0 R] >>");
    table.AddDict(3, "<< /T (a) /Parent 2 0 R >>");
    TPDFForm form;
    form.LoadAcroForm(acro);
    EXPECT_EQ(form.Field(0)->TypeCode, TPDFField::kTypeText);
}

TEST(Form, FieldTypesFromFtAndFf) {
    const struct {
        const char* field;
        const char* parent;  // object 3, the field's Parent
        uint8_t type;
    } cases[] = {
        {"<< /FT /Tx >>", "<< >>", TPDFField::kTypeText},
        {"<< /FT /Ch >>", "<< >>", TPDFField::kTypeChoice},
        {"<< /FT /Sig >>", "<< >>", TPDFField::kTypeSignature},
        {"<< /FT /Xyz >>", "<< >>", TPDFField::kTypeOther},
        {"<< /FT (Tx) >>", "<< /FT /Tx >>", TPDFField::kTypeOther},  // present, not a name
        {"<< >>", "<< >>", TPDFField::kTypeOther},
        {"<< /Parent 3 0 R >>", "<< /FT /Ch >>", TPDFField::kTypeChoice},
        {"<< /FT /Btn >>", "<< >>", TPDFField::kTypeCheckBox},
        {"<< /FT /Btn /Ff 65536 >>", "<< >>", TPDFField::kTypePushButton},
        {"<< /FT /Btn /Ff 98304 >>", "<< >>", TPDFField::kTypePushButton},
        {"<< /FT /Btn /Ff 32768 >>", "<< >>", TPDFField::kTypeRadioGroup},
        {"<< /Parent 3 0 R /Ff 4 0 R >>", "<< /FT /Btn >>", TPDFField::kTypeRadioGroup},
        {"<< /FT /Btn /Parent 3 0 R >>", "<< /Ff 65536 >>", TPDFField::kTypePushButton},
        // A check box whose first kid carries the radio flag is a radio group.
        {"<< /FT /Btn /Kids [5 0 R] >>", "<< >>", TPDFField::kTypeRadioGroup},
        {"<< /FT /Btn /Kids [] >>", "<< >>", TPDFField::kTypeCheckBox},
    };
    for (const auto& c : cases) {
        TObjectTable table;
        table.AddDict(2, c.field);
        table.AddDict(3, c.parent);
        table.Add(4, "32768");
        table.AddDict(5, "<< /Subtype /Widget /Ff 32768 >>");
        TPDFField field;
        field.LoadField(table.Ref(2));
        EXPECT_EQ(field.FieldTypeOf(), c.type) << c.field << " under " << c.parent;
        EXPECT_EQ(field.Owner, &table.Store());
    }
}

TEST(Form, TypeIsCachedButTheKidSubstitutionIsNot) {
    TObjectTable table;
    table.AddDict(2, "<< /FT /Tx >>");
    TPDFField field;
    field.LoadField(table.Ref(2));
    EXPECT_EQ(field.FieldTypeOf(), TPDFField::kTypeText);
    table.Dict(2)->SetValue("FT", table.Store().NewName("Ch"));
    EXPECT_EQ(field.FieldTypeOf(), TPDFField::kTypeText);
    field.HasKidFields = true;
    EXPECT_EQ(field.FieldTypeOf(), TPDFField::kTypeWithKids);
}

TEST(Form, LoadFieldOfNothingLeavesTheRecordEmpty) {
    TObjectTable table;
    table.Add(2, "42");
    TPDFField field;
    field.LoadField(nullptr);
    EXPECT_EQ(field.FieldDict, nullptr);
    field.LoadField(table.Ref(2));
    EXPECT_EQ(field.FieldDict, nullptr);
    EXPECT_EQ(field.FieldRef, nullptr);
    EXPECT_EQ(field.FieldTypeOf(), TPDFField::kTypeOther);

    // Such references in Fields or Kids get no record.
    TPDFDictionary* acro = table.AddDict(1, "<< /Fields [2 0 R 30 0 R 3 0 R (x)] >>");
    table.AddDict(3, "<< /FT /Sig >>");
    TPDFForm form;
    form.LoadAcroForm(acro);
    ASSERT_EQ(form.FieldCount(), 1);
    EXPECT_EQ(form.Field(0)->FieldDict, table.Dict(3));
}

TEST(Form, CyclicAndDeepFieldTreesEnd) {
    {
        // 2 -> 3 -> 2, and 4 holds itself.
        TObjectTable table;
        TPDFDictionary* acro = table.AddDict(1, "<< /Fields [2 0 R 4 0 R] >>");
        table.AddDict(2, "<< /FT /Tx /Kids [3 0 R 5 0 R] >>");
        table.AddDict(3, "<< /Parent 2 0 R /Kids [2 0 R 6 0 R] >>");
        table.AddDict(4, "<< /Kids [4 0 R 4 0 R] >>");
        table.AddDict(5, "<< /Parent 2 0 R >>");
        table.AddDict(6, "<< /Parent 3 0 R >>");
        TPDFForm form;
        form.LoadAcroForm(acro);
        ASSERT_EQ(form.FieldCount(), 5);
        const int32_t order[] = {2, 3, 6, 5, 4};
        for (int32_t i = 0; i < 5; ++i) {
            EXPECT_EQ(form.Field(i)->FieldRef->TargetNumber, order[i]) << i;
        }
    }
    {
        // Parent chain of the FT lookup that loops.
        TObjectTable table;
        table.AddDict(2, "<< /Parent 3 0 R >>");
        table.AddDict(3, "<< /Parent 2 0 R >>");
        TPDFField field;
        field.LoadField(table.Ref(2));
        EXPECT_EQ(field.FieldTypeOf(), TPDFField::kTypeOther);
    }
    {
        // A chain far deeper than any real form: records stop at the depth limit.
        TObjectTable table;
        constexpr int32_t kChain = 5000;
        TPDFDictionary* acro = table.AddDict(1, "<< /Fields [2 0 R] >>");
        for (int32_t i = 2; i < kChain + 2; ++i) {
            table.AddDict(i, "<< /Kids [" + std::to_string(i + 1) + " 0 R 100000 0 R] >>");
        }
        TPDFForm form;
        form.LoadAcroForm(acro);
        EXPECT_EQ(form.FieldCount(), TPDFForm::kMaxFieldDepth + 1);
    }
    {
        // Kids listing the same field twice at every level would double the records per
        // level; each field dictionary is recorded once.
        TObjectTable table;
        TPDFDictionary* acro = table.AddDict(1, "<< /Fields [2 0 R] >>");
        for (int32_t i = 2; i < 42; ++i) {
            const std::string kid = std::to_string(i + 1) + " 0 R ";
            table.AddDict(i, "<< /Kids [" + kid + kid + "] >>");
        }
        TPDFForm form;
        form.LoadAcroForm(acro);
        EXPECT_EQ(form.FieldCount(), 40);
    }
}

TEST(Form, WalksKnowFieldsByNumberWhenTheResolverHandsOutNewObjects) {
    // A resolver that parses a new object on every call, as a cache that forgot the number
    // would: a Parent cycle of 150 fields and kids shared between fields still end, and
    // each field is recorded once.
    TObjectTable table;
    TPDFDictionary* acro = table.AddDict(1, "<< /Fields [2 0 R 300 0 R] >>");
    constexpr int32_t kCycle = 150;
    for (int32_t i = 2; i < kCycle + 2; ++i) {
        const int32_t next = i + 1 < kCycle + 2 ? i + 1 : 2;
        table.AddDict(i, "<< /T (f" + std::to_string(i) + ") /Parent " + std::to_string(next) +
                             " 0 R /Kids [" + std::to_string(next) + " 0 R 400 0 R] >>");
    }
    table.AddDict(300, "<< /T (shared) /Kids [400 0 R 401 0 R] >>");
    table.AddDict(400, "<< /T (a) /Kids [401 0 R] /Parent 300 0 R >>");
    table.AddDict(401, "<< /T (b) /Parent 400 0 R >>");
    TPDFStructure fresh;
    int64_t calls = 0;
    TPDFForm form;
    form.OnResolveObject = [&](TPDFIndRef* ref) -> TPDFObject* {
        ++calls;
        TPDFObject* object = table.Get(ref->TargetNumber);
        return object != nullptr ? fresh.ParseText(object->ToText()) : nullptr;
    };
    form.LoadAcroForm(acro);
    EXPECT_EQ(form.FieldCount(), kCycle + 3);
    for (int32_t i = 0; i < form.FieldCount(); ++i) {
        form.Field(i)->FieldTypeOf();  // walks the Parent chain
    }
    EXPECT_LT(calls, 100000);
}

TEST(Form, ResolverReplacesTheStoresResolution) {
    TObjectTable table;
    TPDFDictionary* acro = table.AddDict(1, "<< /Fields [2 0 R] >>");
    // The store knows object 2 as a text field; the form's resolver maps 2 to object 7.
    table.AddDict(2, "<< /FT /Tx >>");
    table.AddDict(7, "<< /FT /Ch /Kids [8 0 R 9 0 R] >>");
    table.AddDict(8, "<< /Parent 7 0 R >>");
    table.AddDict(9, "<< /Parent 7 0 R >>");
    TPDFForm form;
    int32_t calls = 0;
    form.OnResolveObject = [&](TPDFIndRef* ref) -> TPDFObject* {
        ++calls;
        return table.Get(ref->TargetNumber == 2 ? 7 : ref->TargetNumber);
    };
    form.LoadAcroForm(acro);
    ASSERT_EQ(form.FieldCount(), 3);
    EXPECT_EQ(form.Field(0)->FieldDict, table.Dict(7));
    EXPECT_EQ(form.Field(0)->FieldTypeOf(), TPDFField::kTypeChoice);  // not 7: Ch has no sub
    EXPECT_EQ(form.Field(1)->FieldTypeOf(), TPDFField::kTypeChoice);
    EXPECT_TRUE(static_cast<bool>(form.Field(1)->OnResolveObject));
    EXPECT_GT(calls, 0);
}

}  // namespace
}  // namespace verava
