// POSIX: the file of a program that is running, this tool's own included, is
// replaced by the same atomic rename as any file, and the program runs on.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/RunFixture.h"

namespace yrn::test {

TEST_F(RunTest, ARunningProgramsFileIsReplacedAsAnyFile) {
    const std::string tool = root.Native("c/TOVR/yrnupdate"), self = std::to_string(getpid());
    WriteFile(tool, ReadFile(YRN_TOOL_PATH));
    ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
    WriteFile(root.Native("c/pkg/yrnupdate"), "new release");
    const pid_t child = fork();  // waits for this process to end
    if (child == 0) execl(tool.c_str(), tool.c_str(), self.c_str(), "/nonexistent", "0", nullptr), _exit(127);
    ASSERT_GT(child, 0);
    char running[4096] = {};
    const std::string exe = "/proc/" + std::to_string(child) + "/exe";
    for (int i = 0; i < 100 && tool != running; ++i, usleep(20000))
        running[std::max<ssize_t>(0, readlink(exe.c_str(), running, sizeof running - 1))] = '\0';
    ASSERT_EQ(std::string(running), tool);
    EXPECT_TRUE(platform.CopyFile("C:\\pkg\\yrnupdate", "C:\\TOVR\\yrnupdate"));
    EXPECT_EQ(ReadFile(tool), "new release");
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), 0);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

}  // namespace yrn::test
