// Arbitrary bytes through the cross-reference reader (FindStartXRef + ReadSection, in memory
// and over a stream), lazy object loading by number from the entries it reports, and the
// repair scan.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "document/pdf_ind_obj.h"
#include "document/pdf_xref_reader.h"
#include "document/vmx_raw_analyser.h"
#include "objects/stream.h"

namespace {

class Owner : public verava::IPDFObjectOwner {
  public:
    explicit Owner(std::string bytes) : file_(verava::SharedBytes::FromString(std::move(bytes))) {
        store_.OnResolveReference = [this](verava::TPDFIndRef*, int32_t n,
                                           int32_t) -> verava::TPDFObject* {
            verava::TPDFIndObj* o = FindObject(n);
            return o != nullptr ? o->GetObject() : nullptr;
        };
    }
    const verava::SharedBytes& FileBuffer() const override { return file_; }
    verava::TPDFStructure& ObjectStore() override { return store_; }
    verava::TPDFIndObj* FindObject(int32_t number) override {
        auto it = objects.find(number);
        return it == objects.end() ? nullptr : it->second.get();
    }
    bool NeedsDecryption() override { return false; }
    void DecryptIndirect(verava::TPDFIndObj&) override {}
    verava::TObjectStreamCache& ObjectStreamCache() override {
        return cache_;
    }
    std::map<int32_t, std::unique_ptr<verava::TPDFIndObj>> objects;

  private:
    verava::SharedBytes file_;
    verava::TPDFStructure store_;
    verava::TObjectStreamCache cache_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Owner owner(bytes);
    verava::TPDFXRefReader reader{owner.FileBuffer().View()};
    reader.OnEntry = [&](int32_t n, int32_t g, char kind, int64_t value) {
        if (owner.objects.count(n) != 0 || owner.objects.size() > 5000) return;
        auto o = std::make_unique<verava::TPDFIndObj>(&owner, n, kind == 'c' ? 0 : g);
        if (kind == 'n') {
            o->Offset = value;
        } else if (kind == 'c') {
            o->Compressed = true;
            o->StreamNumber = static_cast<int32_t>(value);
            o->StreamIndex = g;
        } else {
            return;
        }
        owner.objects[n] = std::move(o);
    };
    reader.OnTrailer = [&](const std::string& text) { owner.ObjectStore().ParseText(text); };
    reader.ReadSection(reader.FindStartXRef());
    for (auto& [number, object] : owner.objects) {
        if (verava::TPDFObject* value = object->GetObject()) {
            try {
                value->ToText();
            } catch (const std::exception&) {
            }
        }
    }

    verava::TMemoryStream stream(bytes);
    verava::TPDFXRefReader streamReader(stream);
    streamReader.BaseOffset = size > 0 ? data[0] % 8 : 0;
    streamReader.ReadSection(streamReader.FindStartXRef());

    verava::TVMXRawAnalyser scan;
    scan.Scan(std::string_view(bytes));
    return 0;
}
