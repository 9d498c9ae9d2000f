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

#include "core/IniFile.h"
#include "support/RunFixture.h"

namespace yrn::test {
namespace {

using Clock = std::chrono::steady_clock;

struct Target {
    std::string name, dirWin, dirNative, oldBytes, newBytes;
};

std::string Bytes(std::mt19937& rng, size_t size, char tag) {
    std::string s(size, tag);
    for (size_t i = 0; i < size; i += 7) s[i] = static_cast<char>(rng());
    return s;
}

class CrashPackage {
public:
    CrashPackage() {
        std::mt19937 rng(2024);
        const char* dirs[][2] = {{"C:\\TOVR\\", "c/TOVR"}, {"C:\\TOVR\\BIN\\", "c/TOVR/BIN"}, {"C:\\TOVR\\DATA\\", "c/TOVR/DATA"}};
        const char* exts[] = {".exe", ".dll", ".dat"};
        for (int i = 0; i < 200; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "F%03d%s", i, exts[i % 3]);
            Target t{name, dirs[i % 3][0], dirs[i % 3][1], {}, {}};
            const size_t size = 200 + (rng() % 40000);
            if (i % 4 != 3) t.oldBytes = Bytes(rng, size, 'o');
            t.newBytes = Bytes(rng, size + rng() % 3000, 'n');
            targets.push_back(t);
        }
        manifest = "[ExeFiles]\r\nVersion=3\r\n[FILES]\r\n";
        for (const Target& t : targets) manifest += t.name + "=\r\n";
        for (const Target& t : targets) {
            std::string dir = t.dirWin == "C:\\TOVR\\" ? W("<РАБОЧАЯ>") : t.dirWin;
            manifest += "[" + t.name + "]\r\nSDir=" + dir + "\r\nVersion=2\r\n";
        }
    }

    void Lay(const TempRoot& root) const {
        WriteFile(root.Native("c/PKG/YRNUpdate.ini"), manifest);
        for (const Target& t : targets) {
            WriteFile(root.Native("c/PKG/" + t.name), t.newBytes);
            if (!t.oldBytes.empty()) WriteFile(root.Native(t.dirNative + "/" + t.name), t.oldBytes);
        }
        ::mkdir(root.Native("c/TOVR/DATA").c_str(), 0777);
        ::mkdir(root.Native("c/TOVR/BIN").c_str(), 0777);
    }

    std::vector<Target> targets;
    std::string manifest;
};

// Starts the program on the package as the suite starts it; returns its pid.
pid_t StartTool(const TempRoot& root) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::setenv("YRN_ROOT", root.Path().c_str(), 1);
    int null = ::open("/dev/null", O_RDWR);
    if (null < 0 || ::chdir(root.Native("cwd").c_str()) != 0) ::_exit(127);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
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

std::vector<std::string> Sets(const TempRoot& root) {
    return ListDir(root.Native("c/TOVR/UPDATE/OldFiles"));
}

class CrashTest : public ::testing::Test {
protected:
    void TearDown() override { ResetSettings(); }

    // No name of an interrupted copy in a directory search of any directory
    // the run writes to.
    void CheckTempsIgnored(const TempRoot& root, PosixPlatform& platform, const std::string& context) {
        std::vector<std::string> dirs{"C:\\TOVR\\", "C:\\TOVR\\BIN\\", "C:\\TOVR\\DATA\\", "C:\\TOVR\\UPDATE\\OldFiles\\"};
        for (const std::string& set : Sets(root)) dirs.push_back("C:\\TOVR\\UPDATE\\OldFiles\\" + set + "\\");
        for (const std::string& set : ListDir(root.Native("c/TOVR/UPDATE/NewFiles")))
            dirs.push_back("C:\\TOVR\\UPDATE\\NewFiles\\" + set + "\\");
        for (const std::string& dir : dirs) {
            for (const std::string& name : ListDir(platform.NativePath(dir)))
                if (name.rfind(".~yrn", 0) == 0) ++tempsLeft_;
            for (const std::string& name : platform.FindFiles(dir, "*"))
                EXPECT_NE(name.rfind(".~yrn", 0), 0u) << context << ": listed " << dir << name;
        }
    }

    // Whole files only; every replaced file saved and listed in set.
    void CheckAfterKill(const TempRoot& root, const CrashPackage& pkg, const std::string& set,
                        const std::string& context, int& changed) {
        IniDocument catalogue(set.empty() ? std::string() : ReadFile(set + "/BackUp.ini"));
        changed = 0;
        for (const Target& t : pkg.targets) {
            const std::string path = root.Native(t.dirNative + "/" + t.name);
            const std::string now = ReadFile(path);
            if (t.oldBytes.empty()) {
                EXPECT_TRUE(!Exists(path) || now == t.newBytes) << context << ": " << t.name << " partial";
                continue;
            }
            EXPECT_TRUE(now == t.oldBytes || now == t.newBytes) << context << ": " << t.name << " torn or missing";
            if (now != t.newBytes) continue;
            ++changed;
            const std::string* listed = catalogue.Find("FILES", t.name);
            ASSERT_NE(listed, nullptr) << context << ": " << t.name << " replaced, not listed";
            EXPECT_EQ(*listed, t.dirWin + t.name) << context;
            EXPECT_EQ(ReadFile(set + "/" + t.name), t.oldBytes) << context << ": saved copy of " << t.name;
        }
        for (const std::string& key : catalogue.Keys("FILES")) {
            auto it = std::find_if(pkg.targets.begin(), pkg.targets.end(), [&](const Target& t) { return t.name == key; });
            ASSERT_NE(it, pkg.targets.end()) << context << ": stray entry " << key;
            EXPECT_EQ(ReadFile(set + "/" + key), it->oldBytes) << context << ": listed copy of " << key;
        }
    }

    void Rollback(PosixPlatform& platform, const TempRoot& root, const std::string& setName) {
        ResetSettings();
        BackupDir += setName + "\\";
        IniDocument catalogue(ReadFile(root.Native("c/TOVR/UPDATE/OldFiles/" + setName + "/BackUp.ini")));
        RollbackList = std::make_unique<NameValueList>();
        for (const std::string& key : catalogue.Keys("FILES")) RollbackList->SetValue(key, *catalogue.Find("FILES", key));
        RecordingView view = RunWindow(platform, 2);
        // Killed between making the set and its first catalogue entry: the
        // set holds no listed copy (nothing was replaced), and says so.
        const bool catalogued = Exists(root.Native("c/TOVR/UPDATE/OldFiles/" + setName + "/BackUp.ini"));
        EXPECT_EQ(view.lines.back(), catalogued ? W("Замена исполняемых файлов завершена.")
                                                : W("Не найден файл: ") + BackupDir + "BackUp.ini")
            << setName;
    }

    int tempsLeft_ = 0;
};

TEST_F(CrashTest, KilledAnywhereTheUpdateLosesNothing) {
    const CrashPackage pkg;
    const char* pointsEnv = std::getenv("YRN_CRASH_POINTS");
    const int points = pointsEnv ? std::atoi(pointsEnv) : 20;
    const char* seedEnv = std::getenv("YRN_CRASH_SEED");
    const unsigned seed = seedEnv ? static_cast<unsigned>(std::atol(seedEnv)) : static_cast<unsigned>(std::time(nullptr));
    std::mt19937 rng(seed);

    // A clean run tells how long the whole update takes.
    double cleanSeconds;
    {
        TempRoot root;
        pkg.Lay(root);
        auto start = Clock::now();
        ASSERT_TRUE(WaitTool(StartTool(root), 300));
        cleanSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        for (const Target& t : pkg.targets)
            ASSERT_EQ(ReadFile(root.Native(t.dirNative + "/" + t.name)), t.newBytes) << t.name;
    }

    int survived = 0, midRun = 0;
    for (int point = 0; point < points; ++point) {
        const double at = std::uniform_real_distribution<double>(0, cleanSeconds)(rng);
        const std::string context = "seed " + std::to_string(seed) + " point " + std::to_string(point) + " at " +
                                    std::to_string(at) + " s";
        SCOPED_TRACE(context);
        TempRoot root;
        pkg.Lay(root);
        PosixPlatform platform(root.Path());
        pid_t pid = StartTool(root);
        ::usleep(static_cast<useconds_t>(at * 1e6));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);

        const std::vector<std::string> first = Sets(root);
        ASSERT_LE(first.size(), 1u);
        const std::string set1 = first.empty() ? std::string() : root.Native("c/TOVR/UPDATE/OldFiles/" + first[0]);
        int changed = 0;
        CheckAfterKill(root, pkg, set1, context, changed);
        if (changed > 0 && changed < 150) ++midRun;
        CheckTempsIgnored(root, platform, context);
        if (HasFatalFailure()) return;

        // A second run finishes the job, its local copy and set hold no leftovers.
        ASSERT_TRUE(WaitTool(StartTool(root), 300)) << context;
        for (const Target& t : pkg.targets)
            EXPECT_EQ(ReadFile(root.Native(t.dirNative + "/" + t.name)), t.newBytes) << context << ": " << t.name;
        CheckTempsIgnored(root, platform, context);
        for (const std::string& set : ListDir(root.Native("c/TOVR/UPDATE/NewFiles")))
            for (const std::string& name : ListDir(root.Native("c/TOVR/UPDATE/NewFiles/" + set)))
                EXPECT_TRUE(name == "YRNUpdate.ini" || (name.size() == 8 && name[0] == 'F') || name.rfind(".~yrn", 0) == 0)
                    << context << ": " << name;
        // Nothing but the package's files (and hidden leftovers) in the target directories.
        for (const char* dir : {"c/TOVR/BIN", "c/TOVR/DATA"})
            for (const std::string& name : ListDir(root.Native(dir)))
                EXPECT_TRUE((name.size() == 8 && name[0] == 'F') || name.rfind(".~yrn", 0) == 0) << context << ": " << name;

        // Rolling back the later set, then the first, restores every old byte.
        std::vector<std::string> sets = Sets(root);
        std::sort(sets.begin(), sets.end(), [&](const std::string& a, const std::string& b) {
            bool aFirst = !first.empty() && a == first[0], bFirst = !first.empty() && b == first[0];
            return aFirst != bFirst ? bFirst : a > b;
        });
        for (const std::string& set : sets) Rollback(platform, root, set);
        for (const Target& t : pkg.targets) {
            if (!t.oldBytes.empty()) {
                EXPECT_EQ(ReadFile(root.Native(t.dirNative + "/" + t.name)), t.oldBytes) << context << ": " << t.name;
            }
        }
        if (HasFailure()) return;
        ++survived;
    }
    std::cout << "[ crash    ] clean run " << cleanSeconds << " s; " << survived << " of " << points
              << " kill points survived (" << midRun << " mid-run), " << tempsLeft_
              << " interrupted-copy files seen and ignored; seed " << seed << "\n";
}

}  // namespace
}  // namespace yrn::test
