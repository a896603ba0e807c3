// The Windows forms of the wide file stream: names go to the system in UTF-16 as given, long
// ones through "\\?\", and scratch files live in the user's temporary folder only while open.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "objects/pdf_text.h"
#include "objects/wide_file_stream.h"
#include "objects/windows_system.h"

namespace verava {
namespace {

std::wstring W(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

class WideFileStreamWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = TempPath() + u"verava-wfsw-" + Utf8ToUnicode(std::to_string(GetCurrentProcessId())) +
               u"-" +
               Utf8ToUnicode(::testing::UnitTest::GetInstance()->current_test_info()->name());
        CreateDirectoryW(W(dir_).c_str(), nullptr);
    }
    void TearDown() override {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            DeleteFileW(SystemPath(*it).c_str());
            RemoveDirectoryW(SystemPath(*it).c_str());
        }
        RemoveDirectoryW(W(dir_).c_str());
    }
    std::u16string Made(const std::u16string& name) {
        made_.push_back(name);
        return name;
    }
    std::u16string dir_;
    std::vector<std::u16string> made_;
};

// What the system is handed for a name: as given while short, the absolute "\\?\" form once
// long (forward slashes and ".." resolved first, since that form skips the clean-up).
TEST(WindowsSystemPath, LongNamesTakeTheExtendedFormAndShortOnesStayAsGiven) {
    const std::u16string longLeaf(250, u'a');
    const struct {
        std::u16string name;
        std::u16string expected;
    } cases[] = {
        {u"", u""},
        {std::u16string(u"a\0b", 3), u""},
        {u"scan.pdf", u"scan.pdf"},
        {u"C:/scans/\u6b63\u9762.pdf", u"C:/scans/\u6b63\u9762.pdf"},
        {u"C:\\scans\\x\\..\\" + longLeaf, u"\\\\?\\C:\\scans\\" + longLeaf},
        {u"C:/scans/" + longLeaf, u"\\\\?\\C:\\scans\\" + longLeaf},
        {u"\\\\server\\share\\" + longLeaf, u"\\\\?\\UNC\\server\\share\\" + longLeaf},
        {u"\\\\?\\C:\\already\\" + longLeaf, u"\\\\?\\C:\\already\\" + longLeaf},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(U16(SystemPath(c.name)), c.expected) << UnicodeToUtf8(c.name);
    }
}

// Names beyond what the ANSI code page holds, and beyond MAX_PATH, are written, found, read
// back and removed under exactly the name given.
TEST_F(WideFileStreamWindowsTest, NamesRoundTripInUtf16AndPastMaxPath) {
    // A folder chain that takes the path past 260 characters.
    std::u16string deep = dir_;
    for (int level = 0; level < 3; ++level) {
        deep += u"\\" + std::u16string(90, static_cast<char16_t>(u'k' + level));
        ASSERT_TRUE(CreateDirectoryW(SystemPath(Made(deep)).c_str(), nullptr));
    }
    ASSERT_GT(deep.size(), 300u);
    const std::u16string names[] = {
        dir_ + u"\\\u5355\u9762\u626b\u63cf_\u6b63\u9762.pdf",  // 单面扫描_正面.pdf
        dir_ + u"\\\U0001F4C4 \u00e9t\u00e9 \u0436.pdf",        // beyond the BMP, and Latin
        dir_ + u"/forward/../slash \u91cd\u6392\u540e.pdf",     // 重排后, through a "..": short
        deep + u"\\\u5408\u5e76\u540e.pdf",                     // 合并后, 300 characters in
    };
    for (const std::u16string& name : names) {
        SCOPED_TRACE(UnicodeToUtf8(name));
        Made(name);
        {
            TBrannockWideFileStream out(name, kFileModeCreate);
            out.WriteText("%PDF-1.7\n" + UnicodeToUtf8(name));
        }
        EXPECT_TRUE(FileExistsWide(name));
        {
            TBrannockWideFileStream in(name, kFileModeRead | kFileShareDenyWrite);
            EXPECT_EQ(in.ReadAll(), "%PDF-1.7\n" + UnicodeToUtf8(name));
        }
        // The system sees the very characters given, not the ANSI code page's guess.
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW(SystemPath(name).c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        FindClose(search);
        const std::u16string leaf = name.substr(name.find_last_of(u"\\/") + 1);
        EXPECT_EQ(U16(found.cFileName), leaf);
        EXPECT_TRUE(DeleteFileWide(name));
        EXPECT_FALSE(FileExistsWide(name));
    }
    // A file reached by two spellings is one file.
    const std::u16string plain = Made(dir_ + u"\\same.pdf");
    CanOpen(plain, kFileModeCreate);
    EXPECT_TRUE(SameFileWide(plain, dir_ + u"/./same.pdf"));
    EXPECT_FALSE(SameFileWide(plain, dir_ + u"\\other.pdf"));
}

// Scratch data live in the user's temporary folder under a name no other program can open,
// and go with the stream, whatever happens to the process (the system deletes on close).
TEST_F(WideFileStreamWindowsTest, ScratchFilesAreUnsharedAndGoWithTheStream) {
    const std::u16string temp = TempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), u'\\');
    wchar_t saved[MAX_PATH + 1] = {};
    const DWORD had = GetEnvironmentVariableW(L"TMP", saved, MAX_PATH + 1);
    SetEnvironmentVariableW(L"TMP", W(dir_).c_str());
    ASSERT_EQ(TempPath(), dir_ + u"\\");
    auto listing = [&] {
        std::vector<std::u16string> names;
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW((W(dir_) + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            const std::wstring name(found.cFileName);
            if (name != L"." && name != L"..") names.push_back(dir_ + u"\\" + U16(name));
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return names;
    };
    {
        std::unique_ptr<TBrannockWideFileStream> scratch = CreateScratchFile();
        scratch->WriteText("decrypted content");
        const std::vector<std::u16string> names = listing();
        ASSERT_EQ(names.size(), 1u);
        EXPECT_FALSE(CanOpen(names[0], kFileModeRead | kFileShareDenyNone));
        scratch->Seek(0, TStream::SeekOrigin::Beginning);
        EXPECT_EQ(scratch->ReadAll(), "decrypted content");
    }
    EXPECT_TRUE(listing().empty());
    SetEnvironmentVariableW(L"TMP", had > 0 && had <= MAX_PATH ? saved : nullptr);
}

}  // namespace
}  // namespace verava
