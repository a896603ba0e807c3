#include "document/pdf_document.h"

#include <algorithm>

#include "objects/file_mapping.h"
#include "objects/number_text.h"
#include "objects/pdf_text.h"

namespace verava {
std::u16string PdfDateNowText() { return Utf8ToUnicode(PdfDateNow()); }

TPDFDocument::TPDFDocument(int32_t parserMode)
    : Structure(std::make_unique<TPDFStructure>()),
      ParserMode(parserMode),
      metadata_(std::make_unique<TVelmorPDFLibraryXMP>()) {
    ClearDocument();
}

TPDFDocument::~TPDFDocument() {
    // The page tree and the cached object streams point into the store: drop them first.
    pageTree_.reset();
    objects_.clear();
    objectStreamCache_.Clear();
}

void TPDFDocument::ResetObjects() {
    pageTree_.reset();
    objects_.clear();
    membersByStream_.clear();
    keywordSearches_.clear();
    keywordNeedles_.clear();
    directIndex_.clear();
    highest_ = 0;
    indexNumbers_.clear();
    indexPositions_.clear();
    objectStreamCache_.Clear();
    XRefEntries.clear();
    Trailer = nullptr;
    security_.Reset();
    Structure->Clear();
    Structure->OnResolveReference = [this](TPDFIndRef*, int32_t number, int32_t) {
        return ResolveObject(number);
    };
    Structure->OnRegisterIndirect = [this](TPDFObject* object, int32_t& number,
                                           int32_t& generation) {
        TPDFIndObj* added = AddObject(object, true);
        number = added->Number;
        generation = added->Generation;
    };
    Trailer = Structure->NewDictionary();
}

void TPDFDocument::ClearDocument() {
    ResetObjects();
    FileData = SharedBytes();
    EnteredNumbers.Clear();
    repaired_ = false;
    pageTreeRebuilt_ = false;
    wasEncrypted_ = false;
    pageTree_ = std::make_unique<TPDFPageTree>();
}

int32_t TPDFDocument::HighestObjectNumber() const { return highest_; }

std::vector<int32_t> TPDFDocument::PageObjectNumbers() const {
    std::vector<int32_t> numbers;
    for (const TPDFDictionary* page : pageTree_->Pages()) numbers.push_back(page->ObjectNumber);
    return numbers;
}

// ---- the object table

size_t TPDFDocument::FindInFile(std::string_view needle, size_t from, size_t limit) {
    // Searches remember their stretch of FileData; they are dropped with the objects
    // whenever FileData changes (ResetObjects).
    for (size_t i = 0; i < keywordNeedles_.size(); ++i) {
        if (keywordNeedles_[i] == needle) return keywordSearches_[i].Find(from, limit);
    }
    if (keywordSearches_.size() >= 8)
        return TKeywordSearch(FileData.View(), std::string(needle)).Find(from, limit);
    keywordNeedles_.emplace_back(needle);
    keywordSearches_.emplace_back(FileData.View(), std::string(needle));
    return keywordSearches_.back().Find(from, limit);
}

void TPDFDocument::LoadMembersOf(int32_t stream, int depth) {
    if (membersByStream_.empty()) {
        for (const auto& o : objects_) {
            if (o->Compressed) membersByStream_[o->StreamNumber].push_back(o.get());
        }
    }
    const auto found = membersByStream_.find(stream);
    if (found == membersByStream_.end()) return;
    for (TPDFIndObj* member : found->second) {
        if (!member->Loaded && member->StreamNumber == stream) member->LoadObject(depth);
    }
}

void TPDFDocument::NoteScatteredRead(int64_t offset) {
    // Each read of an object maps the file around it; the system may map a large stretch
    // at once. Reads that jump from object to object through a large file (the header
    // checks, the page tree) would so bring most of it into memory: what they brought in is
    // let go every few reads, and comes back from the file when needed. Only the stretches
    // around those reads are let go, so the cost follows the reads, not the file's size.
    constexpr size_t kReadsBetweenDrops = 64;
    constexpr int64_t kStretch = int64_t{2} << 20;  // the largest stretch mapped at once
    const std::string_view file = FileData.View();
    if (file.size() <= static_cast<size_t>(4 * kStretch)) return;  // small files stay
    scatteredReads_.push_back(offset);
    if (scatteredReads_.size() < kReadsBetweenDrops) return;
    std::sort(scatteredReads_.begin(), scatteredReads_.end());
    int64_t droppedTo = 0;  // end of the last stretch let go
    for (const int64_t read : scatteredReads_) {
        // The aligned stretch holding the read and the next one, where the object may end.
        const int64_t from = std::max(read / kStretch * kStretch, droppedTo);
        const int64_t to = std::min<int64_t>(read / kStretch * kStretch + 2 * kStretch,
                                             static_cast<int64_t>(file.size()));
        if (from < 0 || from >= to) continue;
        TFileMapping::DropResident(file.substr(static_cast<size_t>(from),
                                               static_cast<size_t>(to - from)));
        droppedTo = to;
    }
    scatteredReads_.clear();
}

TPDFIndObj* TPDFDocument::FindObject(int32_t number) {
    if (!directIndex_.empty()) {
        if (number < 0 || static_cast<size_t>(number) >= directIndex_.size()) return nullptr;
        const int32_t position = directIndex_[number];
        return position < 0 ? nullptr : objects_[position].get();
    }
    auto it = std::lower_bound(indexNumbers_.begin(), indexNumbers_.end(), number);
    if (it == indexNumbers_.end() || *it != number) return nullptr;
    return objects_[indexPositions_[it - indexNumbers_.begin()]].get();
}

TPDFObject* TPDFDocument::ResolveObject(int32_t number) {
    TPDFIndObj* o = FindObject(number);
    return o != nullptr ? o->GetObject() : nullptr;
}

int32_t TPDFDocument::FirstUnusedNumber() const {
    // Above every object and every number a reference names: a new object must not answer
    // for a reference that dangled in the file. References beyond what a file may number
    // (ISO 32000-1 Annex C) are left out: they cannot have been meant.
    constexpr int32_t kMaxObjectNumber = 8388607;
    const int32_t referenced = Structure->HighestReference();
    return std::max(highest_, referenced <= kMaxObjectNumber ? referenced : 0) + 1;
}

TPDFIndObj* TPDFDocument::AddObject(TPDFObject* object, bool rebuildIndex) {
    const int32_t number = FirstUnusedNumber();
    auto o = std::make_unique<TPDFIndObj>(this, number, 0);
    o->Loaded = true;
    o->Decrypted = true;
    o->Obj = object;
    object->MarkIndirect(number, 0);
    TPDFIndObj* added = o.get();
    objects_.push_back(std::move(o));
    highest_ = number;
    if (rebuildIndex) {
        // The new number is above every other, so appending keeps the index sorted.
        indexNumbers_.push_back(number);
        indexPositions_.push_back(static_cast<int32_t>(objects_.size() - 1));
        // The table by number stays only while numbers are dense.
        if (!directIndex_.empty() &&
            static_cast<size_t>(number) > 4 * objects_.size() + directIndex_.size() + 1024) {
            directIndex_.clear();
        } else if (!directIndex_.empty() || indexNumbers_.size() == 1) {
            directIndex_.resize(static_cast<size_t>(number) + 1, -1);
            directIndex_[number] = indexPositions_.back();
        }
    }
    if (auto* size = As<TPDFNumeric>(Trailer->GetValue("Size"))) {
        size->SetValue(number + 1);
    } else {
        Trailer->SetValue("Size", Structure->NewNumeric(number + 1));
    }
    return added;
}

TPDFIndRef* TPDFDocument::AddIndirect(TPDFObject* object) {
    TPDFIndObj* added = AddObject(object, true);
    return Structure->NewIndRef(added->Number, added->Generation);
}

void TPDFDocument::RemoveObject(int32_t number, int32_t generation) {
    // The copy lookups find, when a repaired file holds several under the number (older
    // revisions): removing an older one would leave the object meant in place.
    TPDFIndObj* found = FindObject(number);
    for (auto it = objects_.begin(); it != objects_.end(); ++it) {
        if ((*it)->Number == number && (*it)->Generation == generation &&
            (found == nullptr || found->Generation != generation || it->get() == found)) {
            objects_.erase(it);
            BuildNumberIndex();
            return;
        }
    }
}

TPDFDictionary* TPDFDocument::GetRoot() {
    if (auto* root = As<TPDFDictionary>(Trailer->GetValue("Root", true))) return root;
    TPDFDictionary* root = Structure->NewDictionary();
    Trailer->SetValue("Root", AddIndirect(root));
    return root;
}

TPDFDictionary* TPDFDocument::GetPagesRoot() {
    auto* pages = As<TPDFDictionary>(GetRoot()->GetValue("Pages", true));
    if (pages == nullptr) return nullptr;
    auto* type = As<TPDFName>(pages->GetValue("Type"));
    // A dictionary without Type is taken for what its shape says: a page node when it has
    // Kids, a page when it has contents or a media box (below), else a node.
    const bool typelessPage = type == nullptr && pages->IndexOf("Kids") < 0 &&
                              (pages->IndexOf("Contents") >= 0 || pages->IndexOf("MediaBox") >= 0);
    if ((type == nullptr && !typelessPage) || (type != nullptr && type->Text == "Pages")) {
        return pages;
    }
    TPDFDictionary* found = nullptr;
    if (!typelessPage) {
        // The catalog names something else: take the last page tree node in the file (one a
        // reference can name: not an older revision hidden by a newer one).
        for (auto& o : objects_) {
            if (FindObject(o->Number) != o.get()) continue;
            auto* dict = As<TPDFDictionary>(o->GetObject());
            if (dict != nullptr && dict->GetType() == "Pages") found = dict;
        }
        if (found != nullptr && found->Indirect) {
            // The catalog is made to name the root it stands for, so a saved file says the
            // same.
            GetRoot()->SetValue("Pages",
                                Structure->NewIndRef(found->ObjectNumber, found->GenerationNumber));
            pageTreeRebuilt_ = true;
        }
    }
    const bool isPage = typelessPage || (type != nullptr && type->Text == "Page");
    if (found == nullptr && isPage && pages->Indirect) {
        // The catalog names a page as its tree (a one-page file): give it a root of its own,
        // as other readers do.
        TPDFDictionary* root =
            NewOnePageRoot(*Structure, pages->ObjectNumber, pages->GenerationNumber);
        GetRoot()->SetValue("Pages", AddIndirect(root));
        pageTreeRebuilt_ = true;
        found = root;
    }
    return found;
}

TPDFDictionary* TPDFDocument::GetInfo() {
    if (auto* info = As<TPDFDictionary>(Trailer->GetValue("Info", true))) return info;
    TPDFDictionary* info = Structure->NewDictionary();
    Trailer->SetValue("Info", AddIndirect(info));
    return info;
}

std::string TPDFDocument::ReadMetadata() {
    auto* stream = As<TPDFStream>(GetRoot()->GetValue("Metadata", true));
    if (stream == nullptr) return {};
    TPDFDictionary* dict = stream->StreamDict();
    auto isName = [&](std::string_view key, std::string_view value) {
        auto* n = As<TPDFName>(dict->GetValue(key, true));
        return n != nullptr && n->Text == value;
    };
    if (!isName("Type", "Metadata")) return {};
    if (!isName("Subtype", "XML") && !isName("SubType", "XML")) return {};
    return stream->GetDecodedData();
}

void TPDFDocument::SetInformationEntry(std::string_view key, const std::u16string& value) {
    if (key != "dc:subject" && key != "xmpMM:subject") {
        TPDFDictionary* info = GetInfo();
        std::string bytes = UnicodeToPdfText(value, false);
        TPDFObject* present = info->GetValue(key, true);
        if (auto* text = As<TPDFString>(present)) {
            text->SetValue(std::move(bytes));
        } else {
            if (auto* stream = As<TPDFStream>(present)) stream->SetData("", false);
            info->SetValue(key, Structure->NewString(std::move(bytes), false));
        }
    }
    metadata_->SetProperty(key, value);
    const std::string packet = metadata_->WritePacket();
    if (Trailer->GetValue("Encrypt") != nullptr) return;
    TPDFDictionary* catalog = GetRoot();
    auto* stream = As<TPDFStream>(catalog->GetValue("Metadata", true));
    if (stream == nullptr) {
        stream = Structure->NewStream("", false);
        catalog->SetValue("Metadata", AddIndirect(stream));
    }
    stream->StreamDict()->SetValue("Type", Structure->NewName("Metadata"));
    stream->StreamDict()->SetValue("Subtype", Structure->NewName("XML"));
    stream->SetData(packet, false);
}

void TPDFDocument::NewDocument() {
    ClearDocument();
    Version = "1.4";
    TPDFStructure& s = *Structure;
    TPDFDictionary* pages = s.NewDictionary();
    TPDFDictionary* page = s.NewDictionary();
    TPDFDictionary* catalog = s.NewDictionary();
    TPDFDictionary* info = s.NewDictionary();
    AddObject(pages, true);
    AddObject(page, true);
    AddObject(catalog, true);
    AddObject(info, true);

    TPDFArray* kids = s.NewArray();
    kids->Add(s.NewIndRef(2, 0));
    pages->SetValue("Type", s.NewName("Pages"));
    pages->SetValue("Count", s.NewNumeric(1));
    pages->SetValue("Kids", kids);

    page->SetValue("Type", s.NewName("Page"));
    page->SetValue("Parent", s.NewIndRef(1, 0));
    page->SetValue("MediaBox", s.NewIntegerArray({0, 0, 612, 792}, 3));
    page->SetValue("CropBox", s.NewIntegerArray({0, 0, 612, 792}, 3));
    TPDFDictionary* resources = s.NewDictionary();
    TPDFArray* procSet = s.NewArray();
    for (const char* name : {"PDF", "Text", "ImageB", "ImageC", "ImageI"})
        procSet->Add(s.NewName(name));
    resources->SetValue("ProcSet", procSet);
    page->SetValue("Resources", resources);

    catalog->SetValue("Type", s.NewName("Catalog"));
    catalog->SetValue("Pages", s.NewIndRef(1, 0));

    Trailer->SetValue("Root", s.NewIndRef(3, 0));
    Trailer->SetValue("Info", s.NewIndRef(4, 0));
    TPDFSecurityHandler::EnsureID(Trailer);

    // Page 1 is selected without giving it a content stream yet, so that the blank
    // document holds exactly its four objects until a page is selected for drawing.
    auto registrar = std::move(s.OnRegisterIndirect);
    s.OnRegisterIndirect = nullptr;
    BuildPageTree();
    s.OnRegisterIndirect = std::move(registrar);
}

// ---- security

bool TPDFDocument::NeedsDecryption() { return security_.NeedsDecryption(); }

void TPDFDocument::DecryptIndirect(TPDFIndObj& object) {
    if (object.Obj == nullptr) return;
    const TObjectKey key = security_.ObjectKey(object.Number, object.Generation);
    security_.DecryptObject(key, object.Obj);
}

void TPDFDocument::DecryptTree(int32_t number) {
    // Nothing to decrypt: walking would only parse the whole file ahead of need.
    if (!NeedsDecryption()) return;
    // Iterative walk over references; objects already walked reach nothing new.
    std::vector<TPDFObject*> pending;
    auto visitIndirect = [&](int32_t n) {
        TPDFIndObj* o = FindObject(n);
        if (o == nullptr || o->TreeWalked) return;
        o->TreeWalked = true;
        if (TPDFObject* value = o->GetObject()) pending.push_back(value);
    };
    visitIndirect(number);
    while (!pending.empty()) {
        TPDFObject* value = pending.back();
        pending.pop_back();
        if (auto* ref = As<TPDFIndRef>(value)) {
            visitIndirect(ref->TargetNumber);
        } else if (auto* dict = As<TPDFDictionary>(value)) {
            for (const auto& entry : dict->Entries()) {
                if (entry.second != nullptr) pending.push_back(entry.second);
            }
        } else if (auto* array = As<TPDFArray>(value)) {
            for (TPDFObject* item : array->Items()) {
                if (item != nullptr) pending.push_back(item);
            }
        } else if (auto* stream = As<TPDFStream>(value)) {
            pending.push_back(stream->StreamDict());
        }
    }
}

bool TPDFDocument::RemoveEncryption() {
    if (!NeedsDecryption()) return false;
    for (auto& o : objects_) {
        if (o->Compressed) continue;
        try {
            o->GetObject();
        } catch (...) {
            // The object stays as loaded.
        }
    }
    TPDFObject* encrypt = Trailer->GetValue("Encrypt");
    Trailer->RemoveKey("Encrypt");
    if (auto* ref = As<TPDFIndRef>(encrypt)) {
        const int32_t number = ref->TargetNumber;
        const int32_t generation = ref->TargetGeneration;
        Structure->ReleaseObject(ref);
        if (TPDFIndObj* o = FindObject(number)) RemoveObject(o->Number, generation);
    }
    security_.Reset();
    return true;
}

}  // namespace verava
