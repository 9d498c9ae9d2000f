// The real program installs a 200-file package in a child process and is
// killed with SIGKILL at random moments. After each kill every installed
// file is whole (its old bytes or its new ones), every replaced file has its
// saved copy listed in the catalogue of the run's backup set, files left by
// an interrupted copy are never listed nor installed, a second run finishes
// the job, and rolling back both backup sets brings every old byte back.
//   YRN_CRASH_POINTS  kill points (default 20)
//   YRN_CRASH_SEED    seed of the kill moments (default: the time)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <random>

#include "support/Package.h"

namespace yrn::test {
namespace {

using Clock = std::chrono::steady_clock;

// 200 files over three directories, every fourth one new; the package in C:\PKG\.
struct CrashPackage {
    CrashPackage() {
        std::mt19937 rng(2024);
        const char* dirs[][2] = {{"C:\\TOVR\\", "c/TOVR/"}, {"C:\\TOVR\\BIN\\", "c/TOVR/BIN/"}, {"C:\\TOVR\\DATA\\", "c/TOVR/DATA/"}};
        auto bytes = [&rng](size_t size, char tag) {
            std::string s(size, tag);
            for (size_t i = 0; i < size; i += 7) s[i] = static_cast<char>(rng());
            return s;
        };
        manifest = "[ExeFiles]\r\nVersion=3\r\n[FILES]\r\n";
        std::string sections;
        for (int i = 0; i < 200; ++i) {
            const std::string name = "F" + std::to_string(1000 + i).substr(1) + (i % 3 == 0 ? ".exe" : i % 3 == 1 ? ".dll" : ".dat");
            const size_t size = 200 + (rng() % 40000);
            std::string oldBytes = i % 4 != 3 ? bytes(size, 'o') : "";
            files.push_back({name, dirs[i % 3][0] + name, dirs[i % 3][1] + name, oldBytes, bytes(size + rng() % 3000, 'n')});
            manifest += name + "=\r\n";
            sections += "[" + name + "]\r\nSDir=" + (i % 3 ? dirs[i % 3][0] : W("<РАБОЧАЯ>")) + "\r\nVersion=2\r\n";
        }
        manifest += sections;
    }

    void Lay(const TempRoot& root) const {
        WriteFile(root.Native("c/PKG/YRNUpdate.ini"), manifest);
        for (const PackageFile& f : files) {
            WriteFile(root.Native("c/PKG/" + f.name), f.newBytes);
            if (!f.oldBytes.empty()) WriteFile(root.Native(f.native), f.oldBytes);
        }
    }

    std::vector<PackageFile> files;
    std::string manifest;
};

// Starts the program on the package as the suite starts it; returns its pid.
pid_t StartTool(const TempRoot& root) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::setenv("YRN_ROOT", root.Path().c_str(), 1);
    int null = ::open("/dev/null", O_RDWR);
    if (null < 0 || ::chdir(root.Native("cwd").c_str()) != 0) ::_exit(127);
    for (int fd : {0, 1, 2}) ::dup2(null, fd);
    ::execl(YRN_TOOL_PATH, "yrnupdate", "0", "C:\\PKG", "0", static_cast<char*>(nullptr));
    ::_exit(127);
}

bool WaitTool(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        int status;
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return false;
}

TEST(CrashTest, KilledAnywhereTheUpdateLosesNothing) {
    const CrashPackage pkg;
    auto env = [](const char* name, long otherwise) { return std::getenv(name) ? std::atol(std::getenv(name)) : otherwise; };
    const int points = static_cast<int>(env("YRN_CRASH_POINTS", 20));
    const unsigned seed = static_cast<unsigned>(env("YRN_CRASH_SEED", std::time(nullptr)));
    std::mt19937 rng(seed);
    auto allNew = [&pkg](const TempRoot& root, const std::string& context) {
        for (const PackageFile& f : pkg.files) EXPECT_EQ(ReadFile(root.Native(f.native)), f.newBytes) << context << ": " << f.name;
    };

    // A clean run tells how long the whole update takes.
    double cleanSeconds;
    {
        TempRoot root;
        pkg.Lay(root);
        auto start = Clock::now();
        ASSERT_TRUE(WaitTool(StartTool(root), 300));
        cleanSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        allNew(root, "clean run");
    }

    int survived = 0, midRun = 0, tempsSeen = 0;
    for (int point = 0; point < points && !::testing::Test::HasFailure(); ++point) {
        const double at = std::uniform_real_distribution<double>(0, cleanSeconds)(rng);
        const std::string context = "seed " + std::to_string(seed) + " point " + std::to_string(point) + " at " + std::to_string(at);
        TempRoot root;
        pkg.Lay(root);
        PosixPlatform platform(root.Path());
        // No name of an interrupted copy shows in a search of a directory the run writes to.
        auto tempsIgnored = [&] {
            std::vector<std::string> dirs{"C:\\TOVR\\", "C:\\TOVR\\BIN\\", "C:\\TOVR\\DATA\\", "C:\\TOVR\\UPDATE\\OldFiles\\"};
            for (const char* under : {"OldFiles", "NewFiles"})
                for (const std::string& set : ListDir(root.Native(std::string("c/TOVR/UPDATE/") + under)))
                    dirs.push_back(std::string("C:\\TOVR\\UPDATE\\") + under + "\\" + set + "\\");
            for (const std::string& dir : dirs) {
                for (const std::string& name : ListDir(platform.NativePath(dir))) tempsSeen += name.rfind(".~yrn", 0) == 0;
                for (const std::string& name : platform.FindFiles(dir, "*"))
                    EXPECT_NE(name.rfind(".~yrn", 0), 0u) << context << ": listed " << dir << name;
            }
        };
        pid_t pid = StartTool(root);
        ::usleep(static_cast<useconds_t>(at * 1e6));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);

        const std::vector<std::string> first = BackupSets(root);
        ASSERT_LE(first.size(), 1u) << context;
        ExpectWholeAndSaved(root, pkg.files, first.empty() ? "" : root.Native(kBackupRootNative) + "/" + first[0], context);
        const auto changed = std::count_if(pkg.files.begin(), pkg.files.end(), [&](const PackageFile& f) {
            return !f.oldBytes.empty() && ReadFile(root.Native(f.native)) == f.newBytes;
        });
        midRun += changed > 0 && changed < 150;
        tempsIgnored();

        // A second run finishes the job; its local copy and the target directories hold nothing else.
        ASSERT_TRUE(WaitTool(StartTool(root), 300)) << context;
        allNew(root, context);
        tempsIgnored();
        std::vector<std::string> dirs{"c/TOVR/BIN", "c/TOVR/DATA"};
        for (const std::string& set : ListDir(root.Native("c/TOVR/UPDATE/NewFiles"))) dirs.push_back("c/TOVR/UPDATE/NewFiles/" + set);
        for (const std::string& dir : dirs)
            for (const std::string& name : ListDir(root.Native(dir)))
                EXPECT_TRUE(name == "YRNUpdate.ini" || (name.size() == 8 && name[0] == 'F') || name.rfind(".~yrn", 0) == 0)
                    << context << ": " << dir << "/" << name;

        // Rolling back the later set, then the first, restores every old byte.
        std::vector<std::string> sets = BackupSets(root);
        std::sort(sets.rbegin(), sets.rend());
        std::stable_partition(sets.begin(), sets.end(), [&](const std::string& s) { return first.empty() || s != first[0]; });
        for (const std::string& set : sets) {
            const RecordingView view = RollBack(platform, root, set);
            // Killed between making the set and its first catalogue entry: the
            // set holds no listed copy (nothing was replaced), and says so.
            const bool catalogued = Exists(root.Native(std::string(kBackupRootNative) + "/" + set + "/BackUp.ini"));
            EXPECT_EQ(view.lines.back(), catalogued ? W("Замена исполняемых файлов завершена.")
                                                    : W("Не найден файл: ") + BackupDir + "BackUp.ini") << context;
        }
        ResetSettings();
        for (const PackageFile& f : pkg.files)
            EXPECT_TRUE(f.oldBytes.empty() || ReadFile(root.Native(f.native)) == f.oldBytes) << context << ": " << f.name;
        survived += !::testing::Test::HasFailure();
    }
    std::cout << "[ crash    ] clean run " << cleanSeconds << " s; " << survived << " of " << points
              << " kill points survived (" << midRun << " mid-run), " << tempsSeen
              << " interrupted-copy files seen and ignored; seed " << seed << "\n";
}

}  // namespace
}  // namespace yrn::test
