// The Windows form of the durable replace: a named new file beside the output, written
// unshared, flushed and moved over the output; refusals said before anything is made; the
// leftovers of a killed writer swept, a live writer's kept.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "objects/file_mapping.h"
#include "objects/pdf_text.h"
#include "objects/replacing_file.h"
#include "objects/wide_file_stream.h"

namespace verava {
namespace {

std::wstring W(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

class ReplacingFileWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = TempPath() + u"verava-rfw-" + Utf8ToUnicode(std::to_string(GetCurrentProcessId())) +
               u"-" +
               Utf8ToUnicode(::testing::UnitTest::GetInstance()->current_test_info()->name());
        CreateDirectoryW(W(dir_).c_str(), nullptr);
        CreateDirectoryW(W(Path(u"sub")).c_str(), nullptr);
    }
    void TearDown() override {
        for (const std::u16string& name : Listing()) DeleteFileW(W(Path(name)).c_str());
        RemoveDirectoryW(W(Path(u"sub")).c_str());
        RemoveDirectoryW(W(dir_).c_str());
    }
    std::u16string Path(const std::u16string& leaf) const { return dir_ + u"\\" + leaf; }
    void Put(const std::u16string& leaf, const std::string& bytes) const {
        TBrannockWideFileStream out(Path(leaf), kFileModeCreate);
        out.WriteText(bytes);
    }
    std::string Get(const std::u16string& leaf) const {
        TBrannockWideFileStream in(Path(leaf), kFileModeRead | kFileShareDenyNone);
        return in.ReadAll();
    }
    std::vector<std::u16string> Listing() const {
        std::vector<std::u16string> names;
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW((W(dir_) + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            const std::wstring name(found.cFileName);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                names.emplace_back(name.begin(), name.end());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::u16string> Temporaries() const {
        std::vector<std::u16string> found;
        for (const std::u16string& name : Listing()) {
            if (name.size() > 5 && name.substr(name.size() - 5) == u".part") found.push_back(name);
        }
        return found;
    }
    std::u16string dir_;
};

// Committed, the new bytes stand under the name; abandoned, the earlier file stays byte for
// byte; either way no new file is left beside it.
TEST_F(ReplacingFileWindowsTest, ACommitReplacesAndAnAbandonedWriteLeavesTheEarlierFile) {
    const std::u16string name = u"\u5408\u5e76\u540e.pdf";  // 合并后.pdf
    for (const bool existed : {false, true}) {
        SCOPED_TRACE(existed);
        if (existed) Put(name, "an earlier save");
        {
            TReplacingFile file(Path(name));
            file.Stream().WriteText("%PDF-abandoned");
            EXPECT_EQ(Temporaries().size(), 1u);
        }
        EXPECT_TRUE(Temporaries().empty());
        EXPECT_EQ(FileExistsWide(Path(name)), existed);
        if (existed) EXPECT_EQ(Get(name), "an earlier save");
        TReplacingFile file(Path(name));
        file.Stream().WriteText("%PDF-new");
        ASSERT_TRUE(file.Commit()) << file.Error().Text();
        EXPECT_EQ(Get(name), "%PDF-new");
        // The new file was hidden while it had no place; the output a user looks for is not.
        EXPECT_EQ(GetFileAttributesW(W(Path(name)).c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
        EXPECT_TRUE(Temporaries().empty());
        EXPECT_EQ(UnicodeToUtf8(Utf8ToUnicode(file.FinalPath())), UnicodeToUtf8(Path(name)));
    }
}

// What is no file is refused before anything is made, saying what it is; so is an output
// another program holds open for writing.
TEST_F(ReplacingFileWindowsTest, AFolderADeviceOrAFileHeldForWritingIsRefusedAtOnce) {
    Put(u"held.pdf", "earlier");
    HANDLE holder = CreateFileW(W(Path(u"held.pdf")).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const struct {
        std::u16string output;
        TFileError error;
    } cases[] = {
        {Path(u"sub"), {TFileProblem::Folder}},
        {Path(u"sub") + u"\\", {TFileProblem::Folder}},
        {u"NUL", {TFileProblem::NotRegularFile}},
        {Path(u"missing\\out.pdf"), TFileError::FromErrno(ENOENT, TFileStep::Create)},
        {Path(u"held.pdf"), TFileError::FromErrno(EWOULDBLOCK, TFileStep::Create)},
    };
    for (const auto& c : cases) {
        try {
            TReplacingFile file(c.output);
            ADD_FAILURE() << UnicodeToUtf8(c.output) << " was taken";
        } catch (const EFileError& e) {
            EXPECT_EQ(e.Error(), c.error) << UnicodeToUtf8(c.output) << ": " << e.Error().Text();
        }
    }
    CloseHandle(holder);
    EXPECT_EQ(Get(u"held.pdf"), "earlier");
    EXPECT_TRUE(Temporaries().empty());
}

// Temporaries a killed writer left are swept by the next write to the same output; one a live
// writer holds open, and names that only look alike, are not. The console handler's sweep
// removes the temporary of a write in progress, and nothing else.
TEST_F(ReplacingFileWindowsTest, DeadWritersTemporariesAreSweptAndPendingOnesRemoved) {
    Put(u".out.pdf.0123456789ab.part", "left by a killed writer");
    const std::vector<std::u16string> kept = {u".other.pdf.0123456789ab.part",
                                              u".out.pdf.0123.part", u".out.pdf.aaaaaaaaaaaa.part",
                                              u"out.pdf.0123456789ab.part"};
    for (const std::u16string& name : kept) Put(name, "not to be swept");
    HANDLE live =
        CreateFileW(W(Path(u".out.pdf.aaaaaaaaaaaa.part")).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(live, INVALID_HANDLE_VALUE);
    {
        TReplacingFile file(Path(u"out.pdf"));
        file.Stream().WriteText("half");
        EXPECT_EQ(Temporaries().size(), kept.size() + 1);
        // The handler runs while the writer still holds its file: the name goes at once or
        // when the writer lets go, and the writer's own clean-up then finds nothing.
        RemovePendingTemporaries();
    }
    CloseHandle(live);
    RemovePendingTemporaries();  // nothing pending: a no-op
    EXPECT_EQ(Temporaries(), kept);
    EXPECT_FALSE(FileExistsWide(Path(u"out.pdf")));
}

// Saving over the file a document was loaded from: the views into the old file keep their
// bytes, and the new file takes the name.
TEST_F(ReplacingFileWindowsTest, ReplacingAFileThisProcessMapsKeepsTheViews) {
    std::string content(1 << 20, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 4096);
    Put(u"loaded.pdf", content);
    SharedBytes view;
    {
        TBrannockWideFileStream in(Path(u"loaded.pdf"), kFileModeRead | kFileShareDenyWrite);
        view = in.MapAll().Sub(100, 500000);
    }
    ASSERT_TRUE(view);
    TReplacingFile file(Path(u"loaded.pdf"));
    file.Stream().WriteText("%PDF-saved over");
    ASSERT_TRUE(file.Commit()) << file.Error().Text();
    EXPECT_EQ(Get(u"loaded.pdf"), "%PDF-saved over");
    EXPECT_TRUE(view.View() == std::string_view(content).substr(100, 500000));
}

}  // namespace
}  // namespace verava
