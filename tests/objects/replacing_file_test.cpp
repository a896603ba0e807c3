#include "objects/replacing_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "objects/pdf_text.h"

namespace verava {
namespace {

namespace fs = std::filesystem;

class ReplacingFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("verava-rf-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& leaf) const { return (dir_ / leaf).string(); }
    void Put(const std::string& leaf, const std::string& bytes) const {
        std::ofstream(dir_ / leaf, std::ios::binary) << bytes;
    }
    std::string Get(const std::string& leaf) const {
        std::ifstream in(dir_ / leaf, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    // Every name in the folder that is a temporary of some output.
    std::vector<std::string> Temporaries() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 5 && name.substr(name.size() - 5) == ".part") found.push_back(name);
        }
        return found;
    }
    // Writes `bytes` through a TReplacingFile for `leaf` and commits it.
    bool Replace(const std::string& leaf, const std::string& bytes) {
        TReplacingFile file(Utf8ToUnicode(Path(leaf)));
        file.Stream().WriteText(bytes);
        return file.Commit();
    }

    fs::path dir_;
};

// What stands at the output path before, and what is there after a committed write: the
// new bytes in a regular file, a link still a link to the file that took them, a replaced
// file's own mode kept, a new file's mode from the umask. Both ways of making the new file
// (unnamed, and named where the file system cannot do without a name) alike.
TEST_F(ReplacingFileTest, ACommittedWriteTakesThePlaceOfWhatStoodThere) {
    const mode_t umaskNow = umask(022);
    for (const bool named : {false, true}) {
        std::optional<ScopedNamedTemporaries> namedOnly;
        if (named) namedOnly.emplace();
        const std::string tag = named ? "named-" : "unnamed-";
        const struct {
            std::string what;
            std::function<void(const std::string& out)> before;
            std::string written;  // the file that holds the new bytes afterwards
            mode_t mode;
        } cases[] = {
            {"nothing", [](const std::string&) {}, "out.pdf", 0644},
            {"a file of mode 0640",
             [&](const std::string& out) {
                 Put(out, "old");
                 chmod(Path(out).c_str(), 0640);
             },
             "out.pdf", 0640},
            {"a link to a file",
             [&](const std::string& out) {
                 Put("target.pdf", "old");
                 fs::create_symlink("target.pdf", Path(out));
             },
             "target.pdf", 0644},
            {"a link to a link to a file in a subfolder",
             [&](const std::string& out) {
                 fs::create_directories(dir_ / "sub");
                 Put("sub/deep.pdf", "old");
                 fs::create_symlink("sub/deep.pdf", Path("middle.pdf"));
                 fs::create_symlink(Path("middle.pdf"), Path(out));
             },
             "sub/deep.pdf", 0644},
            {"a link to nothing yet",
             [&](const std::string& out) { fs::create_symlink("fresh.pdf", Path(out)); },
             "fresh.pdf", 0644},
        };
        for (const auto& c : cases) {
            fs::remove_all(dir_);
            fs::create_directories(dir_);
            const std::string out = tag + "out.pdf";
            c.before(out);
            ASSERT_TRUE(Replace(out, "%PDF-new")) << tag << c.what;
            const std::string written = c.written == "out.pdf" ? out : c.written;
            EXPECT_EQ(Get(written), "%PDF-new") << tag << c.what;
            EXPECT_EQ(Get(out), "%PDF-new") << tag << c.what;
            EXPECT_EQ(fs::is_symlink(dir_ / out), written != out) << tag << c.what;
            struct stat st {};
            ASSERT_EQ(stat(Path(written).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, c.mode) << tag << c.what;
            EXPECT_TRUE(Temporaries().empty()) << tag << c.what;
        }
    }
    umask(umaskNow);
}

// What is no file is refused before anything is made, saying what it is.
TEST_F(ReplacingFileTest, AFolderAPipeOrADeviceIsRefusedAtOnce) {
    fs::create_directories(dir_ / "folder.pdf");
    ASSERT_EQ(mkfifo(Path("pipe.pdf").c_str(), 0600), 0);
    fs::create_symlink(Path("pipe.pdf"), Path("link-to-pipe.pdf"));
    const struct {
        std::string output;
        TFileError error;
    } cases[] = {
        {Path("folder.pdf"), {TFileProblem::Folder}},
        {Path("folder.pdf") + "/", {TFileProblem::Folder}},
        {Path("pipe.pdf"), {TFileProblem::NotRegularFile}},
        {Path("link-to-pipe.pdf"), {TFileProblem::NotRegularFile}},
        {"/dev/null", {TFileProblem::NotRegularFile}},
        {Path("missing/out.pdf"), TFileError::FromErrno(ENOENT, TFileStep::Create)},
    };
    for (const auto& c : cases) {
        try {
            TReplacingFile file(Utf8ToUnicode(c.output));
            ADD_FAILURE() << c.output << " was taken";
        } catch (const EFileError& e) {
            EXPECT_EQ(e.Error(), c.error) << c.output << ": " << e.what();
        }
    }
    EXPECT_TRUE(fs::is_fifo(dir_ / "pipe.pdf"));
    EXPECT_TRUE(Temporaries().empty());
}

// Until Commit the earlier output is untouched, whatever happens: an abandoned write, a
// write the system refuses halfway (a file-size limit standing for a full disk), another
// program holding the output locked.
TEST_F(ReplacingFileTest, AnythingShortOfCommitKeepsTheEarlierOutput) {
    for (const bool named : {false, true}) {
        std::optional<ScopedNamedTemporaries> namedOnly;
        if (named) namedOnly.emplace();
        Put("out.pdf", "earlier");
        {
            TReplacingFile file(Utf8ToUnicode(Path("out.pdf")));
            file.Stream().WriteText("half of a new file");
            EXPECT_EQ(Get("out.pdf"), "earlier");
            EXPECT_EQ(Temporaries().size(), named ? 1u : 0u);
        }
        EXPECT_EQ(Get("out.pdf"), "earlier") << named;
        EXPECT_TRUE(Temporaries().empty()) << named;

        // In a child: the limit and the signal it sends are the child's own.
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
            try {
                TReplacingFile file(Utf8ToUnicode(Path("out.pdf")));
                file.Stream().WriteText(std::string(10000, 'x'));
                _exit(1);
            } catch (const EFileError& e) {
                _exit(e.Error() == TFileError::FromErrno(EFBIG, TFileStep::Write) ? 0 : 2);
            }
        }
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << named;
        EXPECT_EQ(Get("out.pdf"), "earlier") << named;
        EXPECT_TRUE(Temporaries().empty()) << named;

        const int holder = open(Path("out.pdf").c_str(), O_RDWR);
        ASSERT_EQ(flock(holder, LOCK_EX), 0);
        try {
            TReplacingFile file(Utf8ToUnicode(Path("out.pdf")));
            ADD_FAILURE() << "a locked output was taken";
        } catch (const EFileError& e) {
            EXPECT_EQ(e.Error(), TFileError::FromErrno(EWOULDBLOCK, TFileStep::Create));
        }
        close(holder);
        EXPECT_EQ(Get("out.pdf"), "earlier") << named;
    }
}

// Temporaries a killed writer left are swept by the next write to the same output; those a
// live writer holds, and names that only look alike, are not.
TEST_F(ReplacingFileTest, TheNextWriteSweepsWhatADeadWriterLeft) {
    Put(".out.pdf.0123456789ab.part", "left by a killed writer");
    Put(".out.pdf.aaaaaaaaaaaa.part", "held by a live writer");
    Put(".out.pdf.0123.part", "not ours: the tag is short");
    Put(".other.pdf.0123456789ab.part", "another output's");
    Put("out.pdf.0123456789ab.part", "no leading dot");
    const int live = open(Path(".out.pdf.aaaaaaaaaaaa.part").c_str(), O_RDWR);
    ASSERT_EQ(flock(live, LOCK_EX), 0);
    ASSERT_TRUE(Replace("out.pdf", "%PDF-new"));
    close(live);
    std::vector<std::string> left = Temporaries();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".other.pdf.0123456789ab.part", ".out.pdf.0123.part",
                                              ".out.pdf.aaaaaaaaaaaa.part",
                                              "out.pdf.0123456789ab.part"}));
}

// A signal handler's sweep removes the named temporary of a write in progress, and nothing
// else; the write's own clean-up afterwards finds nothing to trip over.
TEST_F(ReplacingFileTest, PendingTemporariesAreRemovedForASignalHandler) {
    ScopedNamedTemporaries namedOnly;
    Put("out.pdf", "earlier");
    Put("keep.txt", "unrelated");
    {
        TReplacingFile file(Utf8ToUnicode(Path("out.pdf")));
        file.Stream().WriteText("half");
        ASSERT_EQ(Temporaries().size(), 1u);
        RemovePendingTemporaries();
        EXPECT_TRUE(Temporaries().empty());
    }
    RemovePendingTemporaries();  // nothing pending: a no-op
    EXPECT_EQ(Get("out.pdf"), "earlier");
    EXPECT_EQ(Get("keep.txt"), "unrelated");
}

}  // namespace
}  // namespace verava
