// The POSIX form of the durable replace: links followed, modes kept, FIFOs and devices
// refused, flock between writers (replacing_file_windows_test.cpp has Windows' own).
#include "objects/replacing_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "objects/pdf_text.h"

namespace verava {
namespace {

namespace fs = std::filesystem;

// What a committed write (its mode among it), an abandoned one and their temporaries leave is
// the fuzz target's (replacing_file_fuzzer), a write the system refuses halfway the command
// line's test; these are the cases neither reaches.
class ReplacingFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("verava-rf-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "sub");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& leaf) const { return (dir_ / leaf).string(); }
    void Put(const std::string& leaf, const std::string& bytes) const {
        std::ofstream(dir_ / leaf, std::ios::binary) << bytes;
    }
    std::string Get(const std::string& leaf) const {
        std::stringstream all;
        all << std::ifstream(dir_ / leaf, std::ios::binary).rdbuf();
        return all.str();
    }
    // The names in the folder that are some output's temporary.
    std::vector<std::string> Temporaries() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 5 && name.substr(name.size() - 5) == ".part") found.push_back(name);
        }
        std::sort(found.begin(), found.end());
        return found;
    }
    fs::path dir_;
};

// A link leads to the file that takes the new bytes, however far, and whether or not it
// exists yet; a replaced file keeps its mode whichever way the new one is made (the fuzz
// target's seeds replace an earlier file through an unnamed one only).
TEST_F(ReplacingFileTest, ACommittedWriteReplacesTheFileALinkLeadsToKeepingItsMode) {
    for (const bool named : {false, true}) {
        std::optional<ScopedNamedTemporaries> namedOnly;
        if (named) namedOnly.emplace();
        SetUp();  // an empty folder
        Put("sub/deep.pdf", "old");
        chmod(Path("sub/deep.pdf").c_str(), 0640);
        fs::create_symlink("sub/deep.pdf", Path("middle.pdf"));
        fs::create_symlink(Path("middle.pdf"), Path("chain.pdf"));
        fs::create_symlink("fresh.pdf", Path("dangling.pdf"));
        for (const auto& [output, written] :
             {std::pair{"chain.pdf", "sub/deep.pdf"}, std::pair{"dangling.pdf", "fresh.pdf"}}) {
            TReplacingFile file(Utf8ToUnicode(Path(output)));
            file.Stream().WriteText("%PDF-new");
            ASSERT_TRUE(file.Commit()) << output;
            EXPECT_EQ(Get(written), "%PDF-new") << output;
            EXPECT_TRUE(fs::is_symlink(dir_ / output)) << output;
        }
        struct stat st {};
        ASSERT_EQ(stat(Path("sub/deep.pdf").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u) << named;
    }
}

// What is no file is refused before anything is made, saying what it is; so is an output
// another program holds locked.
TEST_F(ReplacingFileTest, AFolderAPipeADeviceOrALockedFileIsRefusedAtOnce) {
    ASSERT_EQ(mkfifo(Path("pipe.pdf").c_str(), 0600), 0);
    fs::create_symlink(Path("pipe.pdf"), Path("link-to-pipe.pdf"));
    Put("locked.pdf", "earlier");
    const int holder = open(Path("locked.pdf").c_str(), O_RDWR);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    const struct {
        std::string output;
        TFileError error;
    } cases[] = {
        {Path("sub"), {TFileProblem::Folder}},
        {Path("sub") + "/", {TFileProblem::Folder}},
        {Path("pipe.pdf"), {TFileProblem::NotRegularFile}},
        {Path("link-to-pipe.pdf"), {TFileProblem::NotRegularFile}},
        {"/dev/null", {TFileProblem::NotRegularFile}},
        {Path("missing/out.pdf"), TFileError::FromErrno(ENOENT, TFileStep::Create)},
        {Path("locked.pdf"), TFileError::FromErrno(EWOULDBLOCK, TFileStep::Create)},
    };
    for (const auto& c : cases) {
        try {
            TReplacingFile file(Utf8ToUnicode(c.output));
            ADD_FAILURE() << c.output << " was taken";
        } catch (const EFileError& e) {
            EXPECT_EQ(e.Error(), c.error) << c.output;
        }
    }
    close(holder);
    EXPECT_TRUE(fs::is_fifo(dir_ / "pipe.pdf"));
    EXPECT_EQ(Get("locked.pdf"), "earlier");
    EXPECT_TRUE(Temporaries().empty());
}

// Temporaries a killed writer left are swept by the next write to the same output; those a
// live writer holds, and names that only look alike, are not. A signal handler's sweep
// removes the named temporary of a write in progress, and nothing else.
TEST_F(ReplacingFileTest, DeadWritersTemporariesAreSweptAndPendingOnesRemovedForASignal) {
    Put(".out.pdf.0123456789ab.part", "left by a killed writer");
    const std::vector<std::string> kept = {".other.pdf.0123456789ab.part", ".out.pdf.0123.part",
                                           ".out.pdf.aaaaaaaaaaaa.part",
                                           "out.pdf.0123456789ab.part"};
    for (const std::string& name : kept) Put(name, "not to be swept");
    const int live = open(Path(".out.pdf.aaaaaaaaaaaa.part").c_str(), O_RDWR);
    ASSERT_EQ(flock(live, LOCK_EX), 0);
    {
        ScopedNamedTemporaries namedOnly;
        TReplacingFile file(Utf8ToUnicode(Path("out.pdf")));
        file.Stream().WriteText("half");
        EXPECT_EQ(Temporaries().size(), kept.size() + 1);
        RemovePendingTemporaries();
        EXPECT_EQ(Temporaries(), kept);
    }
    close(live);
    RemovePendingTemporaries();  // nothing pending: a no-op
    EXPECT_EQ(Temporaries(), kept);
    EXPECT_FALSE(fs::exists(dir_ / "out.pdf"));
}

}  // namespace
}  // namespace verava
