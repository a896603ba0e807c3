#include "document/object_stream_cache.h"

#include <algorithm>

#include "objects/pdf_structure.h"
#include "objects/stream_filters.h"

namespace verava {

void TObjectStreamCache::SetInputSize(int64_t inputSize) {
    budget_ = DecodeLimitForInput(inputSize);
    workBudget_ = kWorkFactor * budget_;
}

TPDFObjectStream* TObjectStreamCache::Contents(TPDFStream& stream) {
    auto* kept = dynamic_cast<TPDFObjectStream*>(stream.AttachedObject);
    if (kept != nullptr && !kept->Dropped) {
        filled_.splice(filled_.end(), filled_, kept->place_);
        return kept;
    }
    const uint64_t raw = stream.Data().size();
    if (work_ + raw >= workBudget_) return nullptr;
    size_t limit = static_cast<size_t>(std::min<uint64_t>(workBudget_ - work_ - raw, SIZE_MAX));
    if (stream.Store() != nullptr) limit = std::min(limit, stream.Store()->DecodeLimit);
    std::string data = DecodeStreamData(stream, limit);
    work_ += raw + data.size();
    if (kept == nullptr) {
        owned_.push_back(std::make_unique<TPDFObjectStream>());
        kept = owned_.back().get();
        kept->Index = ReadObjectStreamIndex(*stream.StreamDict(), data);
        stream.AttachedObject = kept;
    }
    kept->Data = std::move(data);
    kept->Dropped = false;
    ++kept->Decodes;
    held_ += kept->Data.size();
    kept->place_ = filled_.insert(filled_.end(), kept);
    Trim();
    return kept;
}

void TObjectStreamCache::Trim() {
    // The stream just used always stays, even when it alone is over the budget.
    while (held_ > budget_ && filled_.size() > 1) {
        TPDFObjectStream* oldest = filled_.front();
        filled_.pop_front();
        held_ -= oldest->Data.size();
        std::string().swap(oldest->Data);
        oldest->Dropped = true;
    }
}

void TObjectStreamCache::Clear() {
    filled_.clear();
    owned_.clear();
    held_ = 0;
    work_ = 0;
}

}  // namespace verava
