#include "objects/wide_file_stream.h"

#include <gtest/gtest.h>
#include <unistd.h>  // getpid, in MinGW too

#include <filesystem>
#include <fstream>

#include "objects/pdf_text.h"

namespace verava {
namespace {

class WideFileStreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("verava-wfs-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // `leaf` is UTF-8 on every system; the C++ library would read it in the ANSI code page
    // on Windows.
    std::u16string Name(const std::string& leaf) const {
        const std::u8string dir = dir_.u8string();
        return Utf8ToUnicode(std::string(dir.begin(), dir.end()) + "/" + leaf);
    }
    void WriteFile(const std::string& leaf, const std::string& content) const {
        std::ofstream(dir_ / leaf, std::ios::binary) << content;
    }

    std::filesystem::path dir_;
};

TEST_F(WideFileStreamTest, CreatesWritesAndReadsBackUnderAChineseName) {
    const std::u16string name =
        Name("\xE6\x89\xAB\xE6\x8F\x8F_\xE9\x87\x8D\xE6\x8E\x92\xE5\x90\x8E.pdf");
    {
        TBrannockWideFileStream out(name, kFileModeCreate);
        out.WriteText("%PDF-1.4\n");
        EXPECT_EQ(out.Size(), 9);
    }
    EXPECT_TRUE(FileExistsWide(name));
    TBrannockWideFileStream in(name, kFileModeRead | kFileShareDenyWrite);
    EXPECT_EQ(in.ReadAll(), "%PDF-1.4\n");
    EXPECT_EQ(in.Seek(-3, TStream::SeekOrigin::End), 6);
}

TEST_F(WideFileStreamTest, RejectsInvalidModesWithTheMessageError) {
    WriteFile("a.pdf", "x");
    for (uint16_t mode : {uint16_t(3), uint16_t(0x50), uint16_t(0xF0)}) {
        try {
            TBrannockWideFileStream s(Name("a.pdf"), mode);
            ADD_FAILURE() << "mode " << mode << " opened";
        } catch (const EFCreateError& e) {
            EXPECT_STREQ(e.what(), "Error");
        }
    }
    EXPECT_THROW(TBrannockWideFileStream(Name("missing.pdf"), kFileModeRead), EFCreateError);
    EXPECT_THROW(TBrannockWideFileStream(Name(""), kFileModeRead), EFCreateError);
}

TEST_F(WideFileStreamTest, SharingFollowsTheModeAsFarAsAdvisoryLocksAllow) {
    WriteFile("a.pdf", "data");
    const std::u16string name = Name("a.pdf");
    {
        // Mode 32: readers that deny writers coexist; a writer is refused meanwhile.
        TBrannockWideFileStream first(name, kFileModeRead | kFileShareDenyWrite);
        EXPECT_TRUE(CanOpen(name, kFileModeRead | kFileShareDenyWrite));
        EXPECT_FALSE(CanOpen(name, kFileModeReadWrite | kFileShareDenyWrite));
        EXPECT_FALSE(CanOpen(name, kFileModeCreate));
        EXPECT_TRUE(CanOpen(name, kFileModeRead | kFileShareDenyNone));
    }
    {
        TBrannockWideFileStream exclusive(name, kFileModeRead | kFileShareExclusive);
        EXPECT_FALSE(CanOpen(name, kFileModeRead | kFileShareDenyWrite));
    }
    // The refused create above must not have truncated the file.
    TBrannockWideFileStream again(name, kFileModeRead);
    EXPECT_EQ(again.ReadAll(), "data");
}

TEST_F(WideFileStreamTest, SetSizeAndFileHelpers) {
    const std::u16string name = Name("b.bin");
    EXPECT_FALSE(FileExistsWide(name));
    EXPECT_TRUE(CanOpen(name, kFileModeCreate));
    EXPECT_TRUE(FileExistsWide(name));
    {
        TBrannockWideFileStream s(name, kFileModeReadWrite);
        s.WriteText("0123456789");
        s.SetSize(4);
        EXPECT_EQ(s.Size(), 4);
        EXPECT_EQ(s.Position(), 4);
    }
    EXPECT_FALSE(FileExistsWide(Utf8ToUnicode(dir_.string())));  // a directory is not a file
    EXPECT_TRUE(DeleteFileWide(name));
    EXPECT_FALSE(DeleteFileWide(name));
}

}  // namespace
}  // namespace verava
