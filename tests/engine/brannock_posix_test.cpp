// The engine's saves where only POSIX can set the scene: a file-size limit (setrlimit) in a
// forked child makes the write fail halfway.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "engine/brannock.h"
#include "objects/pdf_text.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"

namespace verava {
namespace {

std::u16string TempFile(const std::string& name, const std::string& bytes) {
    return Utf8ToUnicode(testing::WriteTempFile(name, bytes));
}

TEST(Engine, AFailedSaveLeavesNoFileAndTheEarlierOneUntouched) {
    // The system refuses to let a file grow beyond 2 KB, in a child process so that the limit
    // binds nothing else; the document is larger than that.
    const std::u16string input = TempFile("big.pdf", testing::SimpleDocument(60).Build());
    const std::string marker = testing::WriteTempFile("failed-save-marker", "");
    const std::string folder = marker.substr(0, marker.rfind('/')) + "/failed-save";
    mkdir(folder.c_str(), 0700);
    const std::string out = folder + "/out.pdf";
    for (bool existed : {false, true}) {
        unlink(out.c_str());
        if (existed) {
            FILE* f = fopen(out.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            fputs("an earlier save", f);
            fclose(f);
        }
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{2048, 2048};
            setrlimit(RLIMIT_FSIZE, &limit);
            TVelmorPDFLibrary engine;
            if (engine.OpenFile(input) != 1) _exit(3);
            _exit(engine.WriteToFile(Utf8ToUnicode(out)) == 0 ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the save should have failed";
        if (existed) {
            EXPECT_EQ(testing::ReadFileBytes(out), "an earlier save");
        } else {
            EXPECT_FALSE(testing::FileExists(out));
        }
        // Nothing else is left in the folder.
        EXPECT_EQ(testing::RunCommand("ls -A " + testing::Quote(folder) + " | grep -vcx out.pdf"),
                  "0\n");
    }
    unlink(out.c_str());
    rmdir(folder.c_str());
}

}  // namespace
}  // namespace verava
