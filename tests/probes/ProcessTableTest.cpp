#include "probes/ProcessTable.h"
#include "support/Emulation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Copies of a small sleeping program, started under distinctive file names.
class ProcessTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
        PYLVANE_SKIP_UNDER_QEMU();
        char pattern[] = "/tmp/pylvane-probes-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }

    void TearDown() override
    {
        for (pid_t pid : children_) {
            stop(pid);
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Starts a copy named `fileName`; returns its pid once it runs that copy (not yet the test binary).
    pid_t start(const std::string& fileName, const std::string& argv0 = {})
    {
        const fs::path copy = dir_ / fileName;
        fs::copy_file(PROBE_SLEEPER_PATH, copy, fs::copy_options::overwrite_existing);
        const std::string first = argv0.empty() ? copy.string() : argv0;
        char* argv[] = {const_cast<char*>(first.c_str()), nullptr};
        pid_t pid = -1;
        if (posix_spawn(&pid, copy.c_str(), nullptr, nullptr, argv, environ) != 0) {
            return -1;
        }
        children_.push_back(pid);
        const std::string link = "/proc/" + std::to_string(pid) + "/exe";
        for (int i = 0; i < 400; ++i) {
            std::error_code error;
            if (fs::read_symlink(link, error) == copy) {
                return pid;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

    static void stop(pid_t pid)
    {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    fs::path dir_;
    std::vector<pid_t> children_;
};

} // namespace

TEST_F(ProcessTableTest, FindsTheWholeFileNameInAnyLetterCase)
{
    ASSERT_GT(start("Watch Me.EXE"), 0);
    ASSERT_GT(start("averyveryverylongname.bin"), 0);
    ASSERT_GT(start("it's.exe"), 0);
    ASSERT_GT(start("\xc3\x84rger.exe"), 0);
    for (const char* name : {"Watch Me.EXE", "watch me.exe", "WATCH ME.EXE", "averyveryverylongname.bin",
                             "AVERYVERYVERYLONGNAME.BIN", "it's.exe", "IT'S.EXE", "\xc3\xa4RGER.EXE"}) {
        EXPECT_EQ(exeRunning(name), true) << name;
    }
    const std::string fullPath = (dir_ / "Watch Me.EXE").string();
    for (const std::string& name :
         {std::string("Watch Me"), std::string("Watch Me.EX"), std::string("Watch Me.EXE "),
          std::string(" Watch Me.EXE"), fullPath, std::string("averyveryverylo"), std::string("it''s.exe"),
          std::string("its.exe"), std::string("'it's.exe'"), std::string()}) {
        EXPECT_EQ(exeRunning(name), false) << '"' << name << '"';
    }
}

TEST_F(ProcessTableTest, EndedProcessIsGoneAndDeletedProgramIsStillFound)
{
    const pid_t ending = start("ephemeral.bin");
    ASSERT_GT(ending, 0);
    ASSERT_GT(start("replaced.bin"), 0);
    EXPECT_EQ(exeRunning("ephemeral.bin"), true);
    stop(ending);
    EXPECT_EQ(exeRunning("ephemeral.bin"), false);

    fs::remove(dir_ / "replaced.bin");
    EXPECT_EQ(exeRunning("replaced.bin"), true) << "a running program whose file was removed still runs";
    EXPECT_EQ(exeRunning("REPLACED.BIN"), true);
}

TEST_F(ProcessTableTest, ProgramFileNameCountsRatherThanTheFirstArgument)
{
    ASSERT_GT(start("real-name.bin", "/elsewhere/decoy.bin"), 0);
    EXPECT_EQ(exeRunning("real-name.bin"), true);
    EXPECT_EQ(exeRunning("decoy.bin"), false);
}

TEST_F(ProcessTableTest, OtherUsersProcessesAreFoundByTheKernelsNameNotTheirTitle)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to look at a process of another user";
    }
    ASSERT_GT(start("retitled.bin", "svcd: worker process"), 0);
    ASSERT_GT(start("odd) (name.bin"), 0);
    ASSERT_GT(start("plain.bin", "/opt/watched.exe"), 0);
    ASSERT_GT(start("averyveryverylongname.bin"), 0);
    // Five Ohm signs fill the kernel's 15 bytes; the omegas they fold to take 10. Whether a title
    // completes the cut name or not, the omegas are another name.
    ASSERT_GT(start("\xe2\x84\xa6\xe2\x84\xa6\xe2\x84\xa6\xe2\x84\xa6\xe2\x84\xa6.bin"), 0);
    ASSERT_GT(start("\xe2\x84\xa6\xe2\x84\xa6\xe2\x84\xa6\xe2\x84\xa6\xe2\x84\xa6.exe", "worker"), 0);
    // As nobody the program link of root's processes cannot be read; their kernel name and title can.
    const std::pair<const char*, bool> cases[] = {
        {"RETITLED.BIN", true},
        {"svcd: worker process", false},
        {"odd) (name.bin", true},
        {"watched.exe", false},
        {"Averyveryverylongname.BIN", true},
        {"averyveryverylongname.exe", false}, // same first 15 characters
        {"averyveryverylo", false},
        {"\xcf\x89\xcf\x89\xcf\x89\xcf\x89\xcf\x89", false},                    // the cut kernel name, folded
        {"\xe2\x84\xa6\xe2\x84\xa6\xe2\x84\xa6\xe2\x84\xa6\xe2\x84\xa6", true}, // as long as the cut
    };
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(255);
        }
        int wrong = 0;
        for (size_t i = 0; i < std::size(cases); ++i) {
            if (exeRunning(cases[i].first) != cases[i].second) {
                wrong |= 1 << i;
            }
        }
        _exit(wrong);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 255) << "could not become nobody";
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ((WEXITSTATUS(status) >> i) & 1, 0) << cases[i].first << " should be " << cases[i].second;
    }
}

// An empty folder in the place of /proc (a container or chroot without it) lists no process, not even this one:
// that says nothing about which processes run.
TEST_F(ProcessTableTest, AListThatCannotBeReadGivesNoAnswer)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to put another /proc in place in a mount namespace of its own";
    }
    ASSERT_GT(start("hidden.bin"), 0);
    ASSERT_EQ(exeRunning("hidden.bin"), true);
    const pid_t child = fork();
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("pylvane-empty", "/proc", "tmpfs", 0, nullptr) != 0) {
            _exit(255);
        }
        const std::optional<bool> running = exeRunning("hidden.bin");
        const std::optional<bool> absent = exeRunning("absent.bin");
        _exit((running.has_value() ? 1 : 0) | (absent.has_value() ? 2 : 0));
    }
    ASSERT_GT(child, 0);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 255) {
        GTEST_SKIP() << "no mount namespace with another /proc here";
    }
    EXPECT_EQ(WEXITSTATUS(status) & 1, 0) << "a running process was answered from an empty list";
    EXPECT_EQ(WEXITSTATUS(status) & 2, 0) << "an absent process was answered from an empty list";
}
