#include "merge/smart_pdf_reader.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "document/file_syntax.h"
#include "document/pdf_xref_reader.h"
#include "objects/number_text.h"
#include "objects/pdf_chars.h"
#include "objects/stream.h"
#include "objects/wide_file_stream.h"
#include "security/md5.h"
#include "security/unique_tag.h"

namespace verava {
namespace {

// A whole number from a numeric value, clamped to [low, high].
int64_t ClampedInteger(const TPDFNumeric* n, int64_t low, int64_t high) {
    const double r = RoundHalfEven(n->NumValue);
    if (std::isnan(r)) return low;
    if (r <= static_cast<double>(low)) return low;
    if (r >= static_cast<double>(high)) return high;
    return static_cast<int64_t>(r);
}

}  // namespace

// ---- construction

TSmartPDFReader::TSmartPDFReader(TStream& stream)
    : stream_(&stream),
      structure_(std::make_unique<TPDFStructure>()),
      offsets_(std::make_unique<TVMXSortedInt64List>()) {
    structure_->OnResolveReference = [this](TPDFIndRef*, int32_t number, int32_t) {
        return GetObject(number);
    };
    fileSize_ = stream_->Size();
    objectStreams_.SetInputSize(fileSize_);
    // A file is read through a mapping when the system allows it (see file_mapping.h).
    mapped_ = stream.MapAll();
    if (mapped_ && static_cast<int64_t>(mapped_.size()) != fileSize_) mapped_ = SharedBytes();
    status_ = TReaderStatus::Usable;
    if (!ReadHeader()) {
        status_ = TReaderStatus::NoHeader;
        return;
    }
    if (ReadCrossReference() && !trailers_.empty()) {
        trailer_ = trailers_.front();
    } else {
        status_ = TReaderStatus::NoXRef;
    }
    encrypted_ = trailer_ != nullptr && trailer_->IndexOf("Encrypt") >= 0;
}

TSmartPDFReader::~TSmartPDFReader() {
    // Objects must not call back into a half-destroyed reader while the store frees them.
    if (structure_) structure_->OnResolveReference = nullptr;
}

std::string TSmartPDFReader::ReadAt(int64_t position, int64_t count) {
    if (position < 0) position = 0;
    if (count > fileSize_ - position) count = fileSize_ - position;
    std::string out;
    if (count < 1) return out;
    if (mapped_) {
        return std::string(
            mapped_.Sub(static_cast<size_t>(position), static_cast<size_t>(count)).View());
    }
    return stream_->ReadAt(position, count);
}

bool TSmartPDFReader::ReadHeader() {
    const std::string head = ReadAt(0, static_cast<int64_t>(kHeaderWindow));
    const size_t pdf = head.find("%PDF-");
    headerOffset_ = pdf == std::string::npos ? -1 : static_cast<int32_t>(pdf);
    const std::optional<THeaderMark> mark = FindHeaderMark(head);
    if (!mark) return false;
    version_ = mark->version;
    return true;
}

bool TSmartPDFReader::ReadCrossReference() {
    {
        TPDFXRefReader finder = mapped_ ? TPDFXRefReader(mapped_.View()) : TPDFXRefReader(*stream_);
        try {
            startXRef_ = finder.FindStartXRef();
        } catch (const std::exception&) {
            startXRef_ = 0;
        }
    }
    if (startXRef_ <= 0) return false;

    auto bind = [this](TPDFXRefReader& reader) {
        reader.OnEntry = [this](int32_t number, int32_t generation, char kind, int64_t offset) {
            HandleEntry(number, generation, kind, offset);
        };
        reader.OnTrailer = [this](const std::string& text) { HandleTrailer(text); };
        reader.OnSection = [this](int64_t offset) { HandleSection(offset); };
    };

    maxNumber_ = 0;
    fileSize_ = stream_->Size();
    bool result = false;
    {
        TPDFXRefReader first = mapped_ ? TPDFXRefReader(mapped_.View()) : TPDFXRefReader(*stream_);
        bind(first);
        result = first.ReadSection(startXRef_);
        entries_.resize(static_cast<size_t>(maxNumber_) + 1);
        hasXRefStream_ = first.HasXRefStream;
        hasXRefStm_ = first.HasXRefStm;
        subsectionCount_ = first.SubsectionCount;
        prevCount_ = first.PrevCount;
    }
    // Files with bytes in front of "%PDF-" whose offsets count from the header.
    if (maxNumber_ == 0 && headerOffset_ > 0) {
        TPDFXRefReader second = mapped_ ? TPDFXRefReader(mapped_.View()) : TPDFXRefReader(*stream_);
        bind(second);
        second.BaseOffset = headerOffset_;
        result = second.ReadSection(startXRef_);
        hasXRefStream_ = second.HasXRefStream;
        entries_.resize(static_cast<size_t>(maxNumber_) + 1);
        if (maxNumber_ > 0) useHeaderOffset_ = true;
    }
    RepairNumbering();
    offsets_->Sort();
    return result;
}

void TSmartPDFReader::HandleEntry(int32_t number, int32_t generation, char kind, int64_t offset) {
    // Numbers no real file reaches would only make the table huge.
    if (number < 0 || number > kMaxObjectNumber || number > fileSize_ + kNumbersBeyondSize) return;
    maxNumber_ = std::max(maxNumber_, number);
    if (entries_.size() < static_cast<size_t>(number) + 1) {
        entries_.resize(std::min<size_t>(static_cast<size_t>(number) + 1000,
                                         static_cast<size_t>(kMaxObjectNumber) + 1));
    }
    if (offset > fileSize_) {
        kind = 'n';
        generation = 0;
        offset = 0;
    }
    // Each distinct offset once: sections that repeat entries must not grow the list
    // beyond what the file can hold.
    if (kind == 'n' && offsetsSeen_.insert(offset).second) offsets_->Add(offset);
    SmartXRefEntry& slot = entries_[static_cast<size_t>(number)];
    if (number == 0) return;
    if (slot.Number == number) {
        // First reported wins, except that a hybrid file's XRefStm stream may fill what the
        // table naming it lists as free: such tables mark the stream's compressed objects
        // free (ISO 32000-1, 7.5.8.4), and those objects must not be lost.
        auto freed = freedIn_.find(number);
        if (slot.Kind != 'f' || kind == 'f' || hybridOf_ < 0 || freed == freedIn_.end() ||
            freed->second != hybridOf_) {
            return;
        }
        freedIn_.erase(freed);
    }
    if (kind == 'f') freedIn_[number] = section_;
    slot.Number = number;
    slot.Offset = offset;
    slot.Generation = generation;
    slot.Kind = kind;
}

void TSmartPDFReader::HandleTrailer(const std::string& text) {
    auto* dict = As<TPDFDictionary>(structure_->ParseText(text));
    if (dict == nullptr) return;
    trailers_.push_back(dict);
    // A classic trailer's XRefStm section is read next; note which table named it.
    const auto* xrefStm = As<TPDFNumeric>(dict->GetValue("XRefStm"));
    if (xrefStm != nullptr && dict->GetValue("W") == nullptr) {
        pendingXRefStm_ = ClampedInteger(xrefStm, INT64_MIN, INT64_MAX);
        pendingOwner_ = section_;
    }
}

void TSmartPDFReader::HandleSection(int64_t offset) {
    if (offset < 0) return;  // a withdrawn section
    ++section_;
    hybridOf_ = offset == pendingXRefStm_ ? pendingOwner_ : -1;
    pendingXRefStm_ = -1;
}

// A table numbered from 1 whose first row is the free-list head: every object sits one slot
// too high. Moving the slots down leaves the last slot as a copy of the one before; it is
// cleared so the last object does not also answer under the next higher number.
void TSmartPDFReader::RepairNumbering() {
    if (entries_.size() <= 2) return;
    const SmartXRefEntry& one = entries_[1];
    TFirstRows first;
    first.oneIsFreeHead =
        one.Number == 1 && one.Kind == 'f' && one.Offset == 0 && one.Generation == 65535;
    first.oneAbsent = one.Kind == 0;
    for (const SmartXRefEntry& entry : entries_)
        first.rowsInUse += entry.Kind == 'n' || entry.Kind == 'c';
    if (!trailers_.empty()) {
        if (auto* size = As<TPDFNumeric>(trailers_.front()->GetValue("Size"))) {
            first.trailerSize = size->NumValue;
        }
    }
    const int64_t base = useHeaderOffset_ ? headerOffset_ : 0;
    const std::string textAtTwo = entries_[2].Kind == 'n' && entries_[2].Offset > 0
                                      ? ReadAt(entries_[2].Offset + base, 7)
                                      : "";
    first.textAtTwo = textAtTwo;
    if (!NumberedOneTooHigh(first)) return;
    for (size_t i = 0; i + 1 < entries_.size(); ++i) {
        entries_[i] = entries_[i + 1];
        if (entries_[i].Number > 0) --entries_[i].Number;
    }
    entries_.back() = SmartXRefEntry{};
}

// ---- object text

bool TSmartPDFReader::EnterLoad(int32_t n) {
    if (static_cast<int>(loading_.size()) >= kMaxLoadDepth) return false;
    if (std::find(loading_.begin(), loading_.end(), n) != loading_.end()) return false;
    loading_.push_back(n);
    return true;
}

void TSmartPDFReader::LeaveLoad() { loading_.pop_back(); }

std::string TSmartPDFReader::GetObjectText(int32_t n) {
    return std::string(ReadObjectText(n).View());
}

TSmartPDFReader::ObjectText TSmartPDFReader::ReadObjectText(int32_t n) {
    if (n <= 0 || static_cast<size_t>(n) >= entries_.size()) return {};
    const SmartXRefEntry& entry = entries_[static_cast<size_t>(n)];
    if (entry.Kind == 'c') return GetCompressedObjectText(entry.Offset, n, entry.Generation);
    if (entry.Kind == 'f') return {};
    const int64_t start = entry.Offset;
    if (start < 0) return {};
    const int64_t base = useHeaderOffset_ ? headerOffset_ : 0;
    int64_t end = offsets_->NextAbove(start) - 1;
    // The object with the highest offset runs to the end of the file.
    if (end <= start) end = fileSize_ - 1 - base;
    SharedBytes buffer =
        mapped_ ? mapped_.Sub(static_cast<size_t>(std::max<int64_t>(start + base, 0)),
                              static_cast<size_t>(std::max<int64_t>(end - start + 1, 0)))
                : SharedBytes::FromString(ReadAt(start + base, end - start + 1));
    std::string_view text = buffer.View();
    size_t at = text.find("obj");
    if (at == std::string_view::npos) return {};
    // The text began in the tail of another object: skip past its "endobj".
    if (at >= 3 && text.substr(at - 3, 3) == "end") {
        at = text.find("obj", at + 3);
        if (at == std::string_view::npos) return {};
    }
    return ObjectText{std::move(buffer), at + 3};
}

TSmartPDFReader::ObjectText TSmartPDFReader::GetCompressedObjectText(int64_t s, int32_t n,
                                                                     int32_t i) {
    if (s <= 0 || s > INT32_MAX) return {};
    const auto number = static_cast<int32_t>(s);
    if (const auto kept = memberTexts_.find(n); kept != memberTexts_.end()) {
        return ObjectText{kept->second, 0};
    }
    auto met = metStreams_.find(number);
    if (met == metStreams_.end()) {
        auto* stream = As<TPDFStream>(GetObject(number));
        if (stream == nullptr) return {};
        if (metStreams_.count(number) == 0) {  // a nested load may have met it meanwhile
            // Met before decoding: values of the stream's dictionary may lead back here
            // through references, and must then find nothing.
            metStreams_.emplace(number, MetStream{stream, false});
            if (encrypted_ && onObjectStream_) onObjectStream_(number, stream);
            if (stream->StreamDict()->GetType() == "ObjStm") objectStreams_.Contents(*stream);
            metStreams_[number].ready = true;
        }
        met = metStreams_.find(number);
    }
    if (!met->second.ready || met->second.stream->StreamDict()->GetType() != "ObjStm") return {};
    TPDFObjectStream* decoded = objectStreams_.Contents(*met->second.stream);
    if (decoded == nullptr) return {};
    const std::optional<std::string_view> text =
        PackedObjectText(decoded->Index, decoded->Data, i, n);
    if (!text) return {};
    ObjectText own{SharedBytes::FromString(std::string(*text)), 0};
    if (decoded->Decodes > 1 && !decoded->MembersLoaded) {
        decoded->MembersLoaded = true;
        KeepMemberTexts(number, *decoded);
    }
    return own;
}

void TSmartPDFReader::KeepMemberTexts(int32_t s, TPDFObjectStream& decoded) {
    if (membersByStream_.empty()) {
        for (size_t n = 1; n < entries_.size(); ++n) {
            const SmartXRefEntry& entry = entries_[n];
            if (entry.Kind == 'c' && entry.Offset > 0 && entry.Offset <= INT32_MAX) {
                membersByStream_[static_cast<int32_t>(entry.Offset)].push_back(
                    static_cast<int32_t>(n));
            }
        }
    }
    const auto members = membersByStream_.find(s);
    if (members == membersByStream_.end()) return;
    TPDFStructure scratch;
    for (const int32_t n : members->second) {
        const SmartXRefEntry& entry = entries_[static_cast<size_t>(n)];
        const std::optional<std::string_view> text =
            PackedObjectText(decoded.Index, decoded.Data, entry.Generation, n);
        if (!text) continue;
        // A member's text runs on to the next member's: what follows its one object (white
        // space padding the stream out, say) is never read, unless a "stream" keyword there
        // would make the object a stream when loaded, as it does now.
        size_t consumed = 0;
        scratch.Parse(*text, 0, consumed);
        const bool whole = text->find("stream", consumed) != std::string_view::npos;
        memberTexts_.emplace(
            n, SharedBytes::FromString(std::string(whole ? *text : text->substr(0, consumed))));
        if (scratch.ObjectCount() > 100) scratch.Clear();
    }
}

// ---- objects

bool TSmartPDFReader::FindStreamData(std::string_view text, size_t parsedEnd,
                                     TPDFDictionary* dictionary, size_t& position, size_t& length) {
    if (text.find("stream", parsedEnd) == std::string_view::npos) return false;
    TPDFObject* lengthValue = dictionary->GetValue("Length", false);
    if (auto* ref = As<TPDFIndRef>(lengthValue)) {
        lengthValue = FetchObject(ref->TargetNumber, nullptr);
    }
    std::optional<double> declared;
    if (const auto* number = As<TPDFNumeric>(lengthValue)) declared = number->NumValue;
    const std::optional<TStreamExtent> extent = FindStreamExtent(text, parsedEnd, declared);
    if (!extent) return false;
    position = extent->start;
    length = extent->length;
    return true;
}

TPDFObject* TSmartPDFReader::LoadObject(int32_t n, TPDFStructure* store) {
    if (store == nullptr) store = structure_.get();
    if (!EnterLoad(n)) return nullptr;
    struct Leave {
        TSmartPDFReader* reader;
        ~Leave() { reader->LeaveLoad(); }
    } leave{this};

    const ObjectText text = ReadObjectText(n);
    const std::string_view view = text.View();
    if (view.empty()) return nullptr;
    size_t consumed = 0;
    TPDFObject* object = store->Parse(view, 0, consumed);
    if (auto* dict = As<TPDFDictionary>(object)) {
        size_t position = 0;
        size_t length = 0;
        if (FindStreamData(view, consumed, dict, position, length)) {
            object =
                store->NewStreamWith(dict, ByteSlice(text.buffer, text.start + position, length));
            // The data were measured at "endstream": a Length that says otherwise would be
            // copied into the output as a wrong length, so it takes the measured one.
            auto* declared = As<TPDFNumeric>(dict->GetValue("Length"));
            if (declared == nullptr || declared->NumValue != static_cast<double>(length)) {
                dict->SetValue("Length", store->NewNumeric(static_cast<double>(length)));
                dict->SetModified(false);
            }
        }
    }
    return object;
}

TPDFObject* TSmartPDFReader::GetObject(int32_t n) {
    if (auto it = cache_.find(n); it != cache_.end()) return it->second;
    // A load that cannot start now (n is being loaded further up, or nesting is too deep)
    // answers nothing, and nothing is cached for it.
    if (static_cast<int>(loading_.size()) >= kMaxLoadDepth ||
        std::find(loading_.begin(), loading_.end(), n) != loading_.end()) {
        return nullptr;
    }
    TPDFObject* object = LoadObject(n, structure_.get());
    cache_.emplace(n, object);
    return object;
}

TPDFObject* TSmartPDFReader::FetchObject(int32_t n, TPDFStructure* store) {
    return store != nullptr ? LoadObject(n, store) : GetObject(n);
}

int32_t TSmartPDFReader::GetGeneration(int32_t n) const {
    if (n < 1 || static_cast<size_t>(n) >= entries_.size()) return 0;
    const SmartXRefEntry& entry = entries_[static_cast<size_t>(n)];
    return entry.Kind == 'c' ? 0 : entry.Generation;
}

// ---- trailer

TPDFDictionary* TSmartPDFReader::TrailerValue(std::string_view key) {
    if (trailer_ == nullptr) return nullptr;
    auto lookup = [&](TPDFDictionary* dict) -> TPDFObject* {
        TPDFObject* value = dict->GetValue(key, false);
        if (auto* ref = As<TPDFIndRef>(value)) value = FetchObject(ref->TargetNumber, nullptr);
        return value;
    };
    TPDFObject* value = lookup(trailer_);
    for (size_t k = 0; value == nullptr && k < trailers_.size(); ++k) value = lookup(trailers_[k]);
    return As<TPDFDictionary>(value);
}

TPDFIndRef* TSmartPDFReader::TrailerRef(std::string_view key) {
    if (trailer_ == nullptr) return nullptr;
    TPDFObject* value = trailer_->GetValue(key, false);
    for (size_t k = 0; value == nullptr && k < trailers_.size(); ++k) {
        value = trailers_[k]->GetValue(key, false);
    }
    return As<TPDFIndRef>(value);
}

void TSmartPDFReader::FinishTrailer() {
    if (trailer_ == nullptr) return;
    TPDFStructure& store = *structure_;
    trailer_->DeleteKey("Size");
    trailer_->SetValue("Size", store.NewNumeric(static_cast<double>(LastObjectNumber()) + 1));
    // Copies: one object must not be held by two trailers.
    for (const char* key : {"Info", "Root"}) {
        if (trailer_->IndexOf(key) >= 0) continue;
        if (const TPDFIndRef* ref = TrailerRef(key)) {
            trailer_->SetValue(key, store.NewIndRef(ref->TargetNumber, ref->TargetGeneration));
        }
    }

    const std::string value = Md5(UniqueTag());
    if (TPDFObject* id = trailer_->GetValue("ID", false)) {
        if (auto* ref = As<TPDFIndRef>(id)) id = FetchObject(ref->TargetNumber, nullptr);
        if (auto* array = As<TPDFArray>(id); array != nullptr && array->Count() > 1) {
            if (auto* second = As<TPDFString>(array->Get(1))) {
                second->SetValue(value);
                second->HexForm = true;
            }
        }
    } else {
        TPDFArray* array = store.NewArray();
        array->Add(store.NewString(value, true));
        array->Add(store.NewString(value, true));
        trailer_->SetValue("ID", array);
        if (onIDCreated_) onIDCreated_(*this);
    }

    // The output has one classic table: what named the input's sections goes.
    RemoveSectionKeys(*trailer_);
}

}  // namespace verava
