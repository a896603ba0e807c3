// Loading a document: the file image, its header and cross-reference data, the security
// handler's password check, and the repair that rebuilds the object table from a scan of the
// file when the table is missing or misses its objects.
#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "document/file_syntax.h"
#include "document/pdf_document.h"
#include "document/pdf_xref_reader.h"
#include "document/vmx_raw_analyser.h"
#include "objects/file_mapping.h"
#include "objects/number_text.h"
#include "objects/stream.h"
#include "objects/wide_file_stream.h"

namespace verava {

uint8_t TPDFDocument::LoadFromStream(TStream& stream, const std::u16string& password) {
    try {
        // A file is mapped rather than copied when the system allows it.
        FileData = stream.MapAll();
        if (!FileData) FileData = SharedBytes::FromString(stream.ReadAll());
        uint8_t r = OpenBuffer(password);
        const size_t header = FileData.View().find("%PDF-");
        if (r == kNotLoadable && header != std::string::npos && header > 0) {
            // Offsets in such files count from the header: drop what stands in front of it.
            EnteredNumbers.Clear();
            FileData = FileData.Sub(header);
            r = OpenBuffer(password);
        }
        if (r != kLoaded) {
            ClearDocument();
            return r;
        }
        metadata_->LoadPacket(ReadMetadata());
        // What loading read of a mapped file (cross-reference data, the page tree) comes
        // back from the file when needed; meanwhile it need not count against memory.
        TFileMapping::DropResident(FileData.View());
        return kLoaded;
    } catch (...) {
        ClearDocument();
        return kNotLoadable;
    }
}

uint8_t TPDFDocument::OpenBuffer(const std::u16string& password) {
    ResetObjects();
    repaired_ = false;
    pageTreeRebuilt_ = false;
    // Decoding, and the decoded object streams kept, are bounded by the file's size.
    Structure->DecodeLimit = DecodeLimitForInput(static_cast<int64_t>(FileData.size()));
    objectStreamCache_.SetInputSize(static_cast<int64_t>(FileData.size()));
    // No file holds more objects than bytes; garbage cross-reference data may claim so.
    entryLimit_ = std::max<size_t>(size_t{1} << 20, FileData.size() / 4);
    if (!CheckHeader()) return kNotLoadable;

    bool usable = ReadXRef();
    if (usable) {
        // The passwords come first: with them, what the checks below read (an encrypted
        // object stream holding the catalog, say) comes out in plain form.
        const uint8_t r = OpenSecurity(password);
        if (r != kLoaded) return r;
        // Cross-reference data that read cleanly but send objects to the wrong place, or
        // lead to no page tree, are as damaged as unreadable ones.
        usable = EntriesPointAtTheirObjects() && PageTreeReachable();
    }
    if (!usable) {
        const uint8_t r = RepairObjectTable(password);
        if (r != kLoaded) return r;
    }

    if (security_.NeedsDecryption() && Trailer->GetValue("ID") == nullptr) {
        // Without an ID the file cannot be encrypted again the same way: decrypt it for good
        // and handle it as a plain document from here on.
        RemoveEncryption();
        TPDFSecurityHandler::EnsureID(Trailer);
    }
    if (GetPagesRoot() == nullptr) return kNotLoadable;
    BuildPageTree();
    RemoveLinearization();
    return kLoaded;
}

uint8_t TPDFDocument::OpenSecurity(const std::u16string& password) {
    security_.Reset();
    wasEncrypted_ = false;
    TPDFObject* encrypt = Trailer->GetValue("Encrypt");
    if (As<TPDFDictionary>(encrypt) == nullptr && As<TPDFIndRef>(encrypt) == nullptr) {
        return kLoaded;
    }
    wasEncrypted_ = true;
    security_.ReadEncryption(Trailer);
    security_.TryPassword(u"");
    security_.SetEmptyPasswordOpens(security_.UserAccepted());
    // Trying the empty password again would change nothing.
    if (!password.empty()) security_.TryPassword(password);
    if (!security_.UserAccepted() && !security_.OwnerAccepted()) return kPasswordRejected;
    return kLoaded;
}

bool TPDFDocument::EntriesPointAtTheirObjects() {
    for (const auto& o : objects_) {
        if (!o->Compressed && o->Offset > 0 && !o->HeaderMatches()) return false;
    }
    return true;
}

namespace {

// What a catalog's Pages may name: a page tree node, or a page (a one-page file), with or
// without Type.
bool CanRootPageTree(const TPDFDictionary* dict) {
    if (dict == nullptr) return false;
    const std::string type = dict->GetType();
    if (type == "Pages" || type == "Page") return true;
    return type.empty() && (dict->IndexOf("Kids") >= 0 || dict->IndexOf("Contents") >= 0 ||
                            dict->IndexOf("MediaBox") >= 0);
}

}  // namespace

bool TPDFDocument::PageTreeReachable() {
    auto* catalog = As<TPDFDictionary>(Trailer->GetValue("Root", true));
    return catalog != nullptr &&
           CanRootPageTree(As<TPDFDictionary>(catalog->GetValue("Pages", true)));
}

void TPDFDocument::BuildPageTree() {
    TPDFPageTreeCallbacks callbacks;
    callbacks.DecryptTree = [this](int32_t number) { DecryptTree(number); };
    callbacks.RemoveObject = [this](int32_t number, int32_t generation) {
        RemoveObject(number, generation);
    };
    // The file's tree is taken for what it holds, never for what it claims.
    TPDFDictionary* root = GetPagesRoot();
    bool changed = false;
    TPDFPageTree::Normalise(root, &changed);
    pageTreeRebuilt_ = pageTreeRebuilt_ || changed;
    pageTree_ = std::make_unique<TPDFPageTree>(root, callbacks);
    // The tree now holds what its Counts say: pages are found through an index of them.
    pageTree_->UsePageIndex();
}

void TPDFDocument::RemoveLinearization() {
    const std::string_view head = FileData.View().substr(0, 1024);
    if (head.find("/Linearized") == std::string_view::npos) return;
    const size_t obj = head.find(" obj");
    if (obj == std::string_view::npos) return;
    // "N G obj": walk back over the generation, one space, and the number.
    size_t i = obj;
    while (i > 0 && head[i - 1] >= '0' && head[i - 1] <= '9') --i;
    if (i == obj || i == 0 || head[i - 1] != ' ') return;
    size_t end = i - 1;
    size_t start = end;
    while (start > 0 && head[start - 1] >= '0' && head[start - 1] <= '9') --start;
    if (start == end) return;
    const int32_t number = ParseInt(head.substr(start, end - start), -1);
    auto* dict = As<TPDFDictionary>(ResolveObject(number));
    // Only the linearization dictionary itself: its Linearized entry is a version number and
    // it has no Type. A page or any other dictionary that merely carries such a key keeps
    // everything it holds.
    if (dict != nullptr && As<TPDFNumeric>(dict->GetValue("Linearized")) != nullptr &&
        dict->GetType().empty()) {
        // A saved file is no longer laid out for page-at-a-time reading.
        dict->ClearEntries();
    }
}

bool TPDFDocument::CheckHeader() {
    const std::optional<THeaderMark> mark = FindHeaderMark(FileData.View());
    if (!mark) return false;
    Version = mark->version;
    return true;
}

bool TPDFDocument::ReadXRef() {
    TPDFXRefReader reader{FileData.View()};
    bool oneIsFreeHead = false;
    reader.OnEntry = [&](int32_t n, int32_t g, char kind, int64_t v) {
        if (n == 1 && kind == 'f' && g == 65535 && v == 0) oneIsFreeHead = true;
        AddXRefEntry(n, g, kind, v);
    };
    reader.OnTrailer = [this](const std::string& text) { TakeTrailer(text); };
    Trailer = nullptr;
    XRefEntries.clear();
    XRefEntries.reserve(1000);
    bool ok = reader.ReadSection(reader.FindStartXRef()) && !reader.Damaged;

    // Tables whose rows are numbered one too high.
    TFirstRows first;
    first.oneIsFreeHead = oneIsFreeHead;
    first.oneAbsent = !EnteredNumbers.Contains(1);
    first.rowsInUse = static_cast<int64_t>(XRefEntries.size());
    if (Trailer != nullptr) {
        if (auto* size = As<TPDFNumeric>(Trailer->GetValue("Size")))
            first.trailerSize = size->NumValue;
    }
    for (const XRefEntry& e : XRefEntries) {
        if (e.number == 2 && !e.compressed && e.offset > 0) {
            first.textAtTwo = FileData.View().substr(std::min<size_t>(e.offset, FileData.size()));
        }
    }
    if (NumberedOneTooHigh(first)) {
        for (XRefEntry& e : XRefEntries) --e.number;
    }
    BuildObjectList();

    if (XRefEntries.size() > 5 && std::all_of(XRefEntries.begin(), XRefEntries.end(),
                                              [](const XRefEntry& e) { return e.offset == 0; })) {
        ok = false;
    }
    if (Trailer == nullptr) {
        Trailer = Structure->NewDictionary();
        ok = false;
    }
    return ok;
}

uint8_t TPDFDocument::RepairObjectTable(const std::u16string& password) {
    // Nothing read so far is trusted; nothing is decrypted until the trailer that names the
    // encryption is settled.
    security_.Reset();
    repaired_ = true;
    TVMXRawAnalyser scan;
    scan.Scan(FileData.View());
    XRefEntries.clear();
    XRefEntries.reserve(static_cast<size_t>(scan.FoundCount));
    for (int32_t i = 0; i < scan.FoundCount; ++i) {
        XRefEntry e;
        e.number = scan.Number(i);
        e.generation = scan.Generation(i);
        e.offset = scan.Location(i);
        e.inUse = true;
        XRefEntries.push_back(e);
    }
    BuildObjectList();
    ChooseRepairedTrailer(scan);

    const uint8_t r = OpenSecurity(password);
    if (r != kLoaded) return r;
    AddObjectStreamEntries();
    if (!PageTreeReachable()) AdoptNewestCatalog();
    return PageTreeReachable() ? kLoaded : kNotLoadable;
}

void TPDFDocument::ChooseRepairedTrailer(const TVMXRawAnalyser& scan) {
    // Candidates, newest (latest in the file) first: the dictionary after the last "trailer"
    // keyword, and the dictionaries of cross-reference streams. The newest that names a
    // catalog wins; without one, the newest at all still says how the file is encrypted.
    struct Candidate {
        int64_t position;
        TPDFDictionary* dict;
    };
    std::vector<Candidate> candidates;
    if (!scan.TrailerText.empty()) {
        if (auto* dict = As<TPDFDictionary>(Structure->ParseText(scan.TrailerText))) {
            candidates.push_back({static_cast<int64_t>(FileData.View().rfind("trailer")), dict});
        }
    }
    for (size_t at = FindInFile("/XRef", 0, std::string_view::npos); at != std::string_view::npos;
         at = FindInFile("/XRef", at + 5, std::string_view::npos)) {
        TPDFIndObj* holder = ObjectAround(static_cast<int64_t>(at));
        if (holder == nullptr) continue;
        auto* stream = As<TPDFStream>(holder->GetObject());
        if (stream == nullptr || stream->StreamDict()->GetType() != "XRef") continue;
        if (!candidates.empty() && candidates.back().dict == stream->StreamDict()) continue;
        candidates.push_back({holder->Offset, stream->StreamDict()});
    }
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.position > b.position; });
    TPDFDictionary* chosen = nullptr;
    for (const Candidate& c : candidates) {
        if (As<TPDFIndRef>(c.dict->GetValue("Root")) != nullptr) {
            chosen = c.dict;
            break;
        }
    }
    if (chosen == nullptr && !candidates.empty()) chosen = candidates.front().dict;
    TPDFDictionary* trailer = nullptr;
    if (chosen != nullptr) trailer = As<TPDFDictionary>(Structure->ParseText(chosen->ToText()));
    if (trailer == nullptr) trailer = Structure->NewDictionary();
    // A trailer found by the scan still names the old sections; written into the new file
    // those links would point into nothing.
    RemoveSectionKeys(*trailer);
    Trailer = trailer;
}

TPDFIndObj* TPDFDocument::ObjectAround(int64_t position) {
    // The object whose header is the last one at or before the position: objects_ of a
    // scanned file are in file order.
    auto it = std::upper_bound(objects_.begin(), objects_.end(), position,
                               [](int64_t p, const std::unique_ptr<TPDFIndObj>& o) {
                                   return p < (o->Compressed ? 0 : o->Offset);
                               });
    if (it == objects_.begin()) return nullptr;
    TPDFIndObj* o = std::prev(it)->get();
    return o->Compressed ? nullptr : o;
}

void TPDFDocument::AddObjectStreamEntries() {
    // Where each number's newest copy stands in the file: for the scanned objects their
    // header, for an object inside an object stream the stream's header.
    std::unordered_map<int32_t, int64_t> newest;
    for (const auto& o : objects_) {
        auto [it, inserted] = newest.emplace(o->Number, o->Offset);
        if (!inserted && o->Offset > it->second) it->second = o->Offset;
    }
    struct Packed {
        int32_t stream;
        int32_t index;
        int64_t position;
    };
    std::unordered_map<int32_t, Packed> packed;
    std::unordered_set<const TPDFIndObj*> seen;
    for (size_t at = FindInFile("/ObjStm", 0, std::string_view::npos); at != std::string_view::npos;
         at = FindInFile("/ObjStm", at + 7, std::string_view::npos)) {
        TPDFIndObj* holder = ObjectAround(static_cast<int64_t>(at));
        if (holder == nullptr || !seen.insert(holder).second) continue;
        // Only the copy lookups find: an older one under the same number is not in use.
        if (FindObject(holder->Number) != holder) continue;
        TPDFObjectStream* contents = holder->ObjectStreamContents();
        if (contents == nullptr || !contents->Index.Valid()) continue;
        const int64_t count = std::min<int64_t>(contents->Index.Count(), INT32_MAX);
        for (int32_t i = 0; i < count; ++i) {
            // As many entries as cross-reference data could give, however many pairs the
            // streams list.
            if (XRefEntries.size() + packed.size() >= entryLimit_) break;
            const auto pair = contents->Index.Pair(contents->Data, i);
            if (!pair) break;
            const int64_t listed = pair->first;
            if (listed < 1 || listed > INT32_MAX) continue;
            const auto objectNumber = static_cast<int32_t>(listed);
            if (objectNumber == holder->Number) continue;
            const auto plain = newest.find(objectNumber);
            if (plain != newest.end() && plain->second > holder->Offset) continue;
            auto [it, inserted] =
                packed.try_emplace(objectNumber, Packed{holder->Number, i, holder->Offset});
            if (!inserted && holder->Offset > it->second.position) {
                it->second = Packed{holder->Number, i, holder->Offset};
            }
        }
    }
    // A stream whose own number is taken by a newer packed object is gone with it, and so
    // is what it held.
    for (auto it = packed.begin(); it != packed.end();) {
        it = packed.count(it->second.stream) != 0 ? packed.erase(it) : std::next(it);
    }
    if (packed.empty()) return;
    // An object found packed in a newer stream replaces the scanned copies of its number.
    std::vector<XRefEntry> entries;
    entries.reserve(XRefEntries.size() + packed.size());
    for (const XRefEntry& e : XRefEntries) {
        if (packed.count(e.number) == 0) entries.push_back(e);
    }
    for (const auto& [number, p] : packed) {
        XRefEntry e;
        e.number = number;
        e.inUse = true;
        e.compressed = true;
        e.streamNumber = p.stream;
        e.streamIndex = p.index;
        entries.push_back(e);
    }
    XRefEntries = std::move(entries);
    BuildObjectList();
}

void TPDFDocument::AdoptNewestCatalog() {
    // The trailer names no usable catalog (it was cut off, or it is a stray dictionary): the
    // newest catalog whose page tree root is there serves. Objects from object streams count
    // as newest, as their streams follow what they replace.
    auto adopt = [this](TPDFIndObj& o) {
        auto* catalog = As<TPDFDictionary>(o.GetObject());
        if (catalog == nullptr || catalog->GetType() != "Catalog" ||
            !CanRootPageTree(As<TPDFDictionary>(catalog->GetValue("Pages", true)))) {
            return false;
        }
        Trailer->SetValue("Root", Structure->NewIndRef(o.Number, o.Generation));
        return true;
    };
    for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
        if (!(*it)->Compressed && FindObject((*it)->Number) == it->get() && adopt(**it)) return;
    }
    for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
        if ((*it)->Compressed && adopt(**it)) return;
    }
}

void TPDFDocument::AddXRefEntry(int32_t number, int32_t generation, char kind, int64_t value) {
    if (kind != 'n' && kind != 'c') return;
    if (number <= 0) return;  // object 0 is never in use
    if (XRefEntries.size() >= entryLimit_) return;
    if (!EnteredNumbers.Add(static_cast<uint32_t>(number))) return;
    XRefEntry e;
    e.number = number;
    e.inUse = true;
    if (kind == 'n') {
        e.generation = generation;
        e.offset = value;
    } else {
        e.compressed = true;
        e.streamNumber = static_cast<int32_t>(value);
        e.streamIndex = generation;
    }
    XRefEntries.push_back(e);
}

void TPDFDocument::TakeTrailer(const std::string& text) {
    if (Trailer != nullptr) return;
    if (auto* dict = As<TPDFDictionary>(Structure->ParseText(text))) {
        Trailer = dict;
        RemoveSectionKeys(*Trailer);
    }
}

void TPDFDocument::BuildObjectList() {
    // File order: objects from object streams first (offset 0), then by offset; equal
    // offsets by number.
    std::vector<size_t> order;
    order.reserve(XRefEntries.size());
    for (size_t i = 0; i < XRefEntries.size(); ++i) {
        if (XRefEntries[i].inUse) order.push_back(i);
    }
    auto key = [this](size_t i) { return std::max<int64_t>(XRefEntries[i].offset, 0); };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (key(a) != key(b)) return key(a) < key(b);
        return XRefEntries[a].number < XRefEntries[b].number;
    });
    // Objects of the file already read keep what was read of them (a rebuilt list during a
    // repair), so nothing is parsed or decoded twice.
    std::map<std::pair<int32_t, int64_t>, std::unique_ptr<TPDFIndObj>> earlier;
    for (auto& o : objects_) {
        if (o->Loaded && !o->Compressed && o->Offset > 0) {
            earlier[{o->Number, o->Offset}] = std::move(o);
        }
    }
    objects_.clear();
    membersByStream_.clear();
    objects_.reserve(order.size());
    for (size_t i : order) {
        const XRefEntry& e = XRefEntries[i];
        if (e.generation < 0) continue;
        if (!e.compressed && e.offset > 0) {
            auto it = earlier.find({e.number, e.offset});
            if (it != earlier.end() && it->second->Generation == e.generation) {
                objects_.push_back(std::move(it->second));
                earlier.erase(it);
                continue;
            }
        }
        auto o = std::make_unique<TPDFIndObj>(this, e.number, e.generation);
        o->Offset = e.offset;
        o->Compressed = e.compressed;
        o->StreamNumber = e.streamNumber;
        o->StreamIndex = e.streamIndex;
        objects_.push_back(std::move(o));
    }
    BuildNumberIndex();
}

void TPDFDocument::BuildNumberIndex() {
    std::vector<int32_t> positions(objects_.size());
    for (size_t i = 0; i < positions.size(); ++i) positions[i] = static_cast<int32_t>(i);
    // One number found several times (an updated file rebuilt by the repair scan): the
    // copy last in the file, the newest revision, comes first so lookups find it.
    std::sort(positions.begin(), positions.end(), [this](int32_t a, int32_t b) {
        if (objects_[a]->Number != objects_[b]->Number)
            return objects_[a]->Number < objects_[b]->Number;
        return a > b;
    });
    indexNumbers_.resize(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) indexNumbers_[i] = objects_[positions[i]]->Number;
    indexPositions_ = std::move(positions);
    highest_ = indexNumbers_.empty() ? 0 : std::max(indexNumbers_.back(), 0);
    // Page moves resolve references by the million: when the numbers are dense, a table by
    // number answers in one step what the sorted index answers in a binary search.
    directIndex_.clear();
    if (!indexNumbers_.empty() && indexNumbers_.front() >= 0 &&
        static_cast<size_t>(highest_) <= 4 * indexNumbers_.size() + 1024) {
        directIndex_.assign(static_cast<size_t>(highest_) + 1, -1);
        for (size_t i = indexNumbers_.size(); i-- > 0;)
            directIndex_[indexNumbers_[i]] = indexPositions_[i];
    }
}

}  // namespace verava
