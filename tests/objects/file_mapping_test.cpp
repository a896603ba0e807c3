#include "objects/file_mapping.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "objects/buffered_output_stream.h"
#include "objects/pdf_text.h"
#include "objects/wide_file_stream.h"

namespace verava {
namespace {

std::string TempPathFor(const std::string& leaf) {
    return (std::filesystem::temp_directory_path() /
            ("verava-map-" + std::to_string(getpid()) + "-" + leaf))
        .string();
}

TEST(FileMapping, MapsRegularFilesAndDeclinesOthers) {
    const std::string path = TempPathFor("a.bin");
    std::ofstream(path, std::ios::binary) << "hello mapped world";
    {
        TBrannockWideFileStream stream(Utf8ToUnicode(path), kFileModeRead | kFileShareDenyWrite);
        const size_t before = TFileMapping::LiveMappings();
        SharedBytes bytes = stream.MapAll();
        ASSERT_TRUE(bytes);
        EXPECT_EQ(bytes.View(), "hello mapped world");
        EXPECT_EQ(TFileMapping::LiveMappings(), before + 1);
        SharedBytes tail = bytes.Sub(6, 6);
        bytes = SharedBytes();
        EXPECT_EQ(tail.View(), "mapped");  // a view keeps the mapping alive
        EXPECT_EQ(TFileMapping::LiveMappings(), before + 1);
        tail = SharedBytes();
        EXPECT_EQ(TFileMapping::LiveMappings(), before);
    }
    const std::string empty = TempPathFor("empty.bin");
    std::ofstream(empty, std::ios::binary).flush();
    {
        TBrannockWideFileStream stream(Utf8ToUnicode(empty), kFileModeRead);
        EXPECT_FALSE(stream.MapAll());
    }
    EXPECT_FALSE(TFileMapping::Map(-1));
    std::filesystem::remove(path);
    std::filesystem::remove(empty);
}

TEST(FileMapping, CreatingOverAMappedFileKeepsTheViewsIntact) {
    const std::string path = TempPathFor("b.bin");
    std::string content(3 << 20, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 4096);
    std::ofstream(path, std::ios::binary) << content;
    SharedBytes view;
    {
        TBrannockWideFileStream stream(Utf8ToUnicode(path), kFileModeRead);
        view = stream.MapAll().Sub(1000, 2 << 20);
    }
    {
        // Truncates and rewrites the very file the view is mapped from.
        TBrannockWideFileStream out(Utf8ToUnicode(path), kFileModeCreate);
        out.WriteText("short");
    }
    EXPECT_EQ(view.View(), std::string_view(content).substr(1000, 2 << 20));
    std::filesystem::remove(path);
}

TEST(FileMapping, DetachedMappingsSurviveTruncation) {
    const std::string path = TempPathFor("c.bin");
    const std::string content(2 << 20, 'x');
    std::ofstream(path, std::ios::binary) << content;
    TBrannockWideFileStream stream(Utf8ToUnicode(path), kFileModeRead | kFileShareDenyNone);
    SharedBytes view = stream.MapAll();
    ASSERT_TRUE(view);
    {
        // Closed again: Windows removes no file a descriptor is open on.
        const int fd = open(path.c_str(), O_RDONLY);
        ASSERT_TRUE(TFileMapping::IsMapped(fd));
        TFileMapping::DetachMappingsOf(fd);
        close(fd);
    }
    std::filesystem::resize_file(path, 0);
    EXPECT_EQ(view.View(), content);  // private copies now; reading does not fault
    stream.Close();
    std::filesystem::remove(path);
}

// Large pieces of a mapped file go to an output file file to file; what lands there must be
// byte for byte what was asked, in order with the small writes around them, whatever the
// pieces' offsets, and also from a detached mapping or into a stream that cannot copy.
TEST(FileMapping, PiecesOfAMappedFileAreWrittenExactlyWhicheverWayTheyGo) {
    const std::string path = TempPathFor("d.bin");
    std::string content(3 << 20, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 13 + i / 977);
    std::ofstream(path, std::ios::binary) << content;
    struct Piece {
        size_t offset;
        size_t length;
    };
    const Piece pieces[] = {{0, 1 << 16},      {1, 70001},       {4095, 300000},
                            {123457, 1 << 20}, {2 << 20, 65535}, {(3 << 20) - 99999, 99999}};
    for (const bool detached : {false, true}) {
        TBrannockWideFileStream input(Utf8ToUnicode(path), kFileModeRead | kFileShareDenyNone);
        SharedBytes mapped = input.MapAll();
        ASSERT_TRUE(mapped);
        if (detached) {
            const int fd = open(path.c_str(), O_RDONLY);
            TFileMapping::DetachMappingsOf(fd);
            close(fd);
            EXPECT_FALSE(TFileMapping::FileRangeOf(mapped.View().substr(10, 10)));
        } else {
            const auto range = TFileMapping::FileRangeOf(mapped.View().substr(10, 10));
            ASSERT_TRUE(range);
            EXPECT_EQ(range->offset, 10);
        }
        std::string expected;
        const std::string outPath = TempPathFor("out.bin");
        TMemoryStream memory;
        {
            TBrannockWideFileStream output(Utf8ToUnicode(outPath), kFileModeCreate);
            TBufferedOutputStream toFile(output);
            TBufferedOutputStream toMemory(memory);
            int k = 0;
            for (const Piece& piece : pieces) {
                const std::string small = "obj " + std::to_string(k++) + "\n";
                const std::string_view bytes = mapped.View().substr(piece.offset, piece.length);
                for (TBufferedOutputStream* out : {&toFile, &toMemory}) {
                    out->WriteText(small);
                    out->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
                }
                expected += small;
                expected += bytes;
                EXPECT_EQ(toFile.Position(), static_cast<int64_t>(expected.size()));
            }
            toFile.Flush();
            toMemory.Flush();
        }
        std::string got;
        {
            std::ifstream written(outPath, std::ios::binary);
            got.assign(std::istreambuf_iterator<char>(written), std::istreambuf_iterator<char>());
        }
        EXPECT_TRUE(got == expected) << "detached " << detached;
        EXPECT_TRUE(memory.ReadAll() == expected) << "detached " << detached;
        std::filesystem::remove(outPath);
    }
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace verava
