// The POSIX forms of the temporary folder and of scratch files: TMPDIR, "/" and memfd.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "objects/wide_file_stream.h"

namespace verava {
namespace {

TEST(WideFileStreamPosix, TheTemporaryFolderEndsWithASlash) {
    const std::u16string temp = TempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), u'/');
}

// Scratch data (decrypted copies of inputs among them) never show as a file in the
// temporary folder, not even while they are written.
TEST(WideFileStreamPosix, ScratchDataNeverShowInTheTemporaryFolder) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("verava-scratch-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TMPDIR", dir.c_str(), 1);
    {
        std::unique_ptr<TBrannockWideFileStream> scratch = CreateScratchFile();
        scratch->WriteText("decrypted content");
        EXPECT_TRUE(std::filesystem::is_empty(dir));
        scratch->Seek(0, TStream::SeekOrigin::Beginning);
        EXPECT_EQ(scratch->ReadAll(), "decrypted content");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    previous != nullptr ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace verava
