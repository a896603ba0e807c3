// A tiny in-memory object table for page-tree and form tests: objects are parsed from PDF
// text under chosen numbers, references resolve through the table, and objects registered as
// new indirect objects get the next free number, as a loaded document would hand them out.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "objects/pdf_structure.h"

namespace verava::testing {

class TObjectTable {
  public:
    TObjectTable() {
        store_.OnResolveReference = [this](TPDFIndRef*, int32_t number,
                                           int32_t generation) -> TPDFObject* {
            ++resolveCount_;
            const auto it = objects_.find(number);
            if (it == objects_.end() || it->second->GenerationNumber != generation) {
                return nullptr;
            }
            return it->second;
        };
        store_.OnRegisterIndirect = [this](TPDFObject* object, int32_t& number,
                                           int32_t& generation) {
            number = NextNumber();
            generation = 0;
            Put(number, object);
            registered_.push_back(number);
        };
    }

    TPDFStructure& Store() { return store_; }

    // Parses `text` as object `number` (generation 0).
    TPDFObject* Add(int32_t number, std::string_view text) {
        TPDFObject* object = store_.ParseText(text);
        Put(number, object);
        return object;
    }
    TPDFDictionary* AddDict(int32_t number, std::string_view text) {
        auto* dict = As<TPDFDictionary>(Add(number, text));
        EXPECT_NE(dict, nullptr) << text;
        return dict;
    }
    // A stream object with the dictionary parsed from `dictText` and `bytes` as stored.
    TPDFStream* AddStream(int32_t number, std::string_view dictText, std::string bytes) {
        auto* dict = As<TPDFDictionary>(store_.ParseText(dictText));
        EXPECT_NE(dict, nullptr) << dictText;
        TPDFStream* stream = store_.NewStreamWith(dict, ByteSlice(std::move(bytes)));
        Put(number, stream);
        return stream;
    }

    TPDFObject* Get(int32_t number) const {
        const auto it = objects_.find(number);
        return it != objects_.end() ? it->second : nullptr;
    }
    TPDFDictionary* Dict(int32_t number) const { return As<TPDFDictionary>(Get(number)); }
    TPDFIndRef* Ref(int32_t number) { return store_.NewIndRef(number, 0); }

    int32_t NextNumber() const { return objects_.empty() ? 1 : objects_.rbegin()->first + 1; }
    // Numbers handed out through OnRegisterIndirect, in order.
    const std::vector<int32_t>& Registered() const { return registered_; }
    int64_t ResolveCount() const { return resolveCount_; }

  private:
    void Put(int32_t number, TPDFObject* object) {
        object->MarkIndirect(number, 0);
        objects_[number] = object;
    }

    TPDFStructure store_;
    std::map<int32_t, TPDFObject*> objects_;
    std::vector<int32_t> registered_;
    int64_t resolveCount_ = 0;
};

}  // namespace verava::testing
