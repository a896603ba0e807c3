#include "objects/file_mapping.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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
    TBrannockWideFileStream stream(Utf8ToUnicode(empty), kFileModeRead);
    EXPECT_FALSE(stream.MapAll());
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
    ASSERT_TRUE(TFileMapping::IsMapped(open(path.c_str(), O_RDONLY)));
    {
        const int fd = open(path.c_str(), O_RDONLY);
        TFileMapping::DetachMappingsOf(fd);
        close(fd);
    }
    std::filesystem::resize_file(path, 0);
    EXPECT_EQ(view.View(), content);  // private copies now; reading does not fault
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace verava
