// The filter chain behind TPDFStream::GetDecodedData: which filters a stream dictionary
// names, in which order they run, which parameters each gets, and SetData's Flate side.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <string>

#include "objects/pdf_structure.h"
#include "objects/stream_filters.h"
#include "support/bytes.h"

namespace verava {
namespace {

using testing::Bytes;
using testing::FromHex;

std::string ZlibCompress(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    EXPECT_EQ(
        compress(reinterpret_cast<Bytef*>(out.data()), &size,
                 reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size())),
        Z_OK);
    out.resize(size);
    return out;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 15]);
    }
    return out + ">";
}

class FilterChain : public ::testing::Test {
  protected:
    FilterChain() {
        store.OnResolveReference = [this](TPDFIndRef*, int32_t number, int32_t) -> TPDFObject* {
            const auto it = objects.find(number);
            return it == objects.end() ? nullptr : it->second;
        };
    }

    // A stream whose dictionary is the given PDF text, over the given stored bytes.
    TPDFStream* Stream(std::string_view dictionary, std::string data) {
        auto* dict = As<TPDFDictionary>(store.ParseText(dictionary));
        EXPECT_NE(dict, nullptr) << dictionary;
        return store.NewStreamWith(dict, ByteSlice(std::move(data)));
    }

    // Makes "number 0 R" resolve to the object parsed from `text`.
    void Define(int32_t number, std::string_view text) { objects[number] = store.ParseText(text); }

    TPDFStructure store;
    std::map<int32_t, TPDFObject*> objects;
};

// Three rows of Columns 3 behind PNG Up tags, and what they decode to.
const std::string kUpRows = Bytes({2, 1, 2, 3, 2, 1, 1, 1, 2, 1, 1, 1});
const std::string kUpDecoded = Bytes({1, 2, 3, 2, 3, 4, 3, 4, 5});

TEST_F(FilterChain, NoFilterOrAnUnusableOneReturnsTheStoredBytes) {
    const std::string data = "BT (raw) Tj ET";
    EXPECT_EQ(Stream("<< /Length 14 >>", data)->GetDecodedData(), data);
    EXPECT_EQ(Stream("<< /Filter 5 >>", data)->GetDecodedData(), data);
    EXPECT_EQ(Stream("<< /Filter [ 1 (FlateDecode) ] >>", data)->GetDecodedData(), data);
    EXPECT_EQ(Stream("<< /Filter [ ] >>", data)->GetDecodedData(), data);
    EXPECT_EQ(Stream("<< /Filter 9 0 R >>", data)->GetDecodedData(), data);  // unresolvable
}

TEST_F(FilterChain, UnknownNamesPassTheDataOnUnchanged) {
    const std::string jpeg = "\xFF\xD8\xFF\xE0 not really a JPEG";
    EXPECT_EQ(Stream("<< /Filter /DCTDecode >>", jpeg)->GetDecodedData(), jpeg);
    // Only "Fl", "RL" and "A85" are abbreviations; "AHx" and "LZW" are not, and names are
    // case-sensitive.
    EXPECT_EQ(Stream("<< /Filter /AHx >>", "41>")->GetDecodedData(), "41>");
    EXPECT_EQ(Stream("<< /Filter /LZW >>", FromHex("800B6050220C0C8501"))->GetDecodedData(),
              FromHex("800B6050220C0C8501"));
    EXPECT_EQ(Stream("<< /Filter /flatedecode >>", ZlibCompress("x"))->GetDecodedData(),
              ZlibCompress("x"));
    EXPECT_EQ(Stream("<< /Filter /Fl >>", ZlibCompress("x"))->GetDecodedData(), "x");
    EXPECT_EQ(Stream("<< /Filter /RL >>", Bytes({1, 'o', 'k', 128}))->GetDecodedData(), "ok");
    EXPECT_EQ(Stream("<< /Filter /A85 >>", "9jqo^~>")->GetDecodedData(), "Man ");
    // The chain goes on past an unknown filter.
    EXPECT_EQ(Stream("<< /Filter [ /JBIG2Decode /ASCIIHexDecode ] >>", "4142>")->GetDecodedData(),
              "AB");
}

TEST_F(FilterChain, FiltersRunInArrayOrder) {
    const std::string text = "q 1 0 0 1 0 0 cm /Im1 Do Q";
    EXPECT_EQ(Stream("<< /Filter [ /ASCIIHexDecode /FlateDecode ] >>", Hex(ZlibCompress(text)))
                  ->GetDecodedData(),
              text);
    // The other order reads the hex digits as a zlib stream and fails.
    EXPECT_EQ(Stream("<< /Filter [ /FlateDecode /ASCIIHexDecode ] >>", Hex(ZlibCompress(text)))
                  ->GetDecodedData(),
              "");
    // Python's base64.a85encode of the run-length bytes 1 a b 129 c 128.
    EXPECT_EQ(
        Stream("<< /Filter [ /ASCII85Decode /RunLengthDecode ] >>", "!F]Gg@t4~>")->GetDecodedData(),
        "ab" + std::string(128, 'c'));
}

TEST_F(FilterChain, ReferencesToFiltersAndParametersAreResolved) {
    Define(5, "/FlateDecode");
    Define(6, "[ /ASCIIHexDecode 5 0 R ]");
    Define(7, "<< /Predictor 12 /Columns 3 >>");
    Define(8, "[ null 7 0 R ]");
    const std::string flate = ZlibCompress(kUpRows);
    EXPECT_EQ(Stream("<< /Filter 5 0 R /DecodeParms 7 0 R >>", flate)->GetDecodedData(),
              kUpDecoded);
    EXPECT_EQ(Stream("<< /Filter [ 5 0 R ] /DecodeParms [ 7 0 R ] >>", flate)->GetDecodedData(),
              kUpDecoded);
    EXPECT_EQ(Stream("<< /Filter 6 0 R /DecodeParms 8 0 R >>", Hex(flate))->GetDecodedData(),
              kUpDecoded);
    // The parameters' own values may be references too.
    Define(9, "3");
    EXPECT_EQ(
        Stream("<< /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 9 0 R >> >>", flate)
            ->GetDecodedData(),
        kUpDecoded);
}

TEST_F(FilterChain, ParametersGoToTheirFilters) {
    const std::string flate = ZlibCompress(kUpRows);
    // A dictionary applies to the first filter only.
    EXPECT_EQ(
        Stream("<< /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 3 >> >>", flate)
            ->GetDecodedData(),
        kUpDecoded);
    EXPECT_EQ(Stream("<< /Filter [ /ASCIIHexDecode /FlateDecode ] "
                     "/DecodeParms << /Predictor 12 /Columns 3 >> >>",
                     Hex(flate))
                  ->GetDecodedData(),
              kUpRows);
    // An array pairs by position; a null item means defaults.
    EXPECT_EQ(Stream("<< /Filter [ /ASCIIHexDecode /FlateDecode ] "
                     "/DecodeParms [ null << /Predictor 12 /Columns 3 >> ] >>",
                     Hex(flate))
                  ->GetDecodedData(),
              kUpDecoded);
    // Shorter than the filter list: the second Flate gets no predictor. The outer layer
    // holds the inner zlib stream in PNG rows of 4 with tag 0.
    const std::string inner = ZlibCompress("inner text");
    std::string rowsOfInner;
    for (size_t i = 0; i < inner.size(); i += 4) rowsOfInner += '\0' + inner.substr(i, 4);
    EXPECT_EQ(Stream("<< /Filter [ /FlateDecode /FlateDecode ] "
                     "/DecodeParms [ << /Predictor 12 /Columns 4 >> ] >>",
                     ZlibCompress(rowsOfInner))
                  ->GetDecodedData(),
              "inner text");
    // Only "DP": used when there is no "DecodeParms".
    EXPECT_EQ(Stream("<< /Filter /FlateDecode /DP << /Predictor 12 /Columns 3 >> >>", flate)
                  ->GetDecodedData(),
              kUpDecoded);
    EXPECT_EQ(Stream("<< /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 3 >> "
                     "/DP << /Predictor 1 >> >>",
                     flate)
                  ->GetDecodedData(),
              kUpDecoded);
    // Predictor 1, or parameters that are not a dictionary, mean plain Flate.
    EXPECT_EQ(Stream("<< /Filter /FlateDecode /DecodeParms << /Predictor 1 /Columns 3 >> >>", flate)
                  ->GetDecodedData(),
              kUpRows);
    EXPECT_EQ(Stream("<< /Filter /FlateDecode /DecodeParms 12 >>", flate)->GetDecodedData(),
              kUpRows);
}

TEST_F(FilterChain, FlatePredictorEdgeCases) {
    // Predictor 12, Columns 5, three rows: 18 bytes inflated, 15 decoded.
    const std::string rows = Bytes({0, 1, 2, 3, 4, 5, 2, 1, 1, 1, 1, 1, 1, 9, 0, 0, 0, 0});
    const std::string decoded = Stream(
                                    "<< /Filter /FlateDecode /DecodeParms "
                                    "<< /Predictor 12 /Columns 5 >> >>",
                                    ZlibCompress(rows))
                                    ->GetDecodedData();
    EXPECT_EQ(decoded, Bytes({1, 2, 3, 4, 5, 2, 3, 4, 5, 6, 9, 9, 9, 9, 9}));
    // An inflated length that is not a multiple of the stride: zero-padded last row.
    EXPECT_EQ(Stream("<< /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 5 >> >>",
                     ZlibCompress(Bytes({0, 1, 2, 3, 4, 5, 0, 7})))
                  ->GetDecodedData(),
              Bytes({1, 2, 3, 4, 5, 7, 0, 0, 0, 0}));
    // Absurd parameters leave the inflated bytes as they are.
    EXPECT_EQ(Stream("<< /Filter /FlateDecode /DecodeParms "
                     "<< /Predictor 12 /Columns 99999999999 /Colors -3 >> >>",
                     ZlibCompress(rows))
                  ->GetDecodedData(),
              rows);
    EXPECT_EQ(Stream("<< /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 2000000000 "
                     "/Colors 4 /BitsPerComponent 16 >> >>",
                     ZlibCompress(rows))
                  ->GetDecodedData(),
              rows);
}

TEST_F(FilterChain, LzwTakesEarlyChangeAndPredictors) {
    // "-----A---B" (ISO 32000-1, 7.4.4.2).
    const std::string example = FromHex("800B6050220C0C8501");
    EXPECT_EQ(Stream("<< /Filter /LZWDecode >>", example)->GetDecodedData(), "-----A---B");
    EXPECT_EQ(Stream("<< /Filter /LZWDecode /DecodeParms << /EarlyChange 0 >> >>", example)
                  ->GetDecodedData(),
              "-----A---B");  // never reaches a width change
    // TIFF predictor 2 on rows of Columns x Colors bytes, the partial row left alone; the
    // bytes 1 2 1 1 5 5 1 1 9 in LZW.
    const std::string tiff = FromHex("800040401008140B0404C040");
    EXPECT_EQ(Stream("<< /Filter /LZWDecode /DecodeParms "
                     "<< /Predictor 2 /Columns 2 /Colors 2 /BitsPerComponent 4 >> >>",
                     tiff)
                  ->GetDecodedData(),
              Bytes({1, 2, 2, 3, 5, 5, 6, 6, 9}));
    // PNG predictors un-predict as after Flate: 2 1 2 3 2 1 1 1 in LZW.
    const std::string png = FromHex("80008020201C0802018080");
    EXPECT_EQ(Stream("<< /Filter /LZWDecode /DecodeParms << /Predictor 12 /Columns 3 >> >>", png)
                  ->GetDecodedData(),
              Bytes({1, 2, 3, 2, 3, 4}));
}

TEST_F(FilterChain, EveryStepStopsAtTheLimit) {
    const std::string bomb = ZlibCompress(std::string(8 << 20, 'z'));
    TPDFStream* stream = Stream("<< /Filter /FlateDecode >>", bomb);
    EXPECT_EQ(DecodeStreamData(*stream, 4096), std::string(4096, 'z'));
    // The run-length bytes inflate past the limit and are cut there, then decoded.
    std::string runs;
    for (int i = 0; i < 10000; ++i) runs += Bytes({129, 'r'});
    EXPECT_EQ(
        DecodeStreamData(*Stream("<< /Filter [ /FlateDecode /RL ] >>", ZlibCompress(runs)), 1000),
        std::string(1000, 'r'));
    EXPECT_EQ(stream->GetDecodedData().size(), size_t{8} << 20);

    // A limit of exactly the decoded size yields all of it, however much larger the data
    // are between the steps: tag bytes of PNG rows, hex text.
    std::string grey;  // 100 rows of 50 bytes, each row PNG "Up" (tag 2)
    for (int r = 0; r < 100; ++r) grey += Bytes({2}) + std::string(50, r == 0 ? '\xF0' : '\0');
    const std::string whole(5000, '\xF0');
    const struct {
        const char* what;
        std::string dictionary;
        std::string data;
    } exact[] = {
        {"PNG rows after Flate",
         "<< /Filter /FlateDecode /DecodeParms << /Predictor 15 /Columns 50 >> >>",
         ZlibCompress(grey)},
        {"PNG rows after Flate, behind hex",
         "<< /Filter [/ASCIIHexDecode /FlateDecode] /DecodeParms [null "
         "<< /Predictor 15 /Columns 50 >>] >>",
         Hex(ZlibCompress(grey))},
        {"hex text after Flate", "<< /Filter [/FlateDecode /ASCIIHexDecode] >>",
         ZlibCompress(Hex(whole))},
    };
    for (const auto& c : exact) {
        EXPECT_EQ(DecodeStreamData(*Stream(c.dictionary, c.data), whole.size()), whole) << c.what;
    }
}

TEST_F(FilterChain, SetDataCompressedRoundTrips) {
    std::string content;
    for (int i = 0; i < 2000; ++i) content += "0 0 m 612 792 l S\n";
    TPDFStream* stream = store.NewStream("", false);
    stream->StreamDict()->SetValue("DecodeParms", store.ParseText("<< /Predictor 12 >>"));
    stream->SetData(content, true);
    const auto* filter = As<TPDFName>(stream->StreamDict()->GetValue("Filter"));
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->Text, "FlateDecode");
    EXPECT_LT(stream->Data().size(), content.size() / 10);
    EXPECT_EQ(stream->StreamDict()->GetInteger("Length", -1),
              static_cast<int32_t>(stream->Data().size()));
    // zlib itself reads the stored bytes back.
    uLongf size = static_cast<uLongf>(content.size());
    std::string inflated(content.size(), '\0');
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(inflated.data()), &size,
                         reinterpret_cast<const Bytef*>(stream->Data().data()),
                         static_cast<uLong>(stream->Data().size())),
              Z_OK);
    EXPECT_EQ(inflated, content);
    // DecodeParms stays as it was, so the chain still applies its predictor ...
    ASSERT_NE(stream->StreamDict()->GetValue("DecodeParms"), nullptr);
    EXPECT_NE(stream->GetDecodedData(), content);
    // ... and without it the bytes come back as given.
    stream->StreamDict()->DeleteKey("DecodeParms");
    EXPECT_EQ(stream->GetDecodedData(), content);
    EXPECT_EQ(store.NewStream("", true)->GetDecodedData(), "");
}

}  // namespace
}  // namespace verava
