#include "probes/ProcessQuery.h"
#include "probes/ProcessSnapshot.h"
#include "probes/ProcessTable.h"
#include "probes/WmiProcessNames.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Stands in for a management service that hangs until the test lets it go, and fails from then on. Its state
// is shared, as a hung query thread may outlive the query that made it.
class HungService : public ProcessNameService {
public:
    struct State {
        State() : release(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
        ~State() { CloseHandle(release); }
        HANDLE release;
        std::atomic<int> asked{0};
    };

    explicit HungService(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::optional<bool> exeRunning(const std::string&) override
    {
        ++state_->asked;
        WaitForSingleObject(state_->release, INFINITE);
        return std::nullopt;
    }

private:
    std::shared_ptr<State> state_;
};

// Stands in for a management service that answers rightly, but only after a delay the test sets. Its state is
// shared, as the query thread may outlive the query while the service keeps it waiting.
class SlowService : public ProcessNameService {
public:
    struct State {
        std::atomic<DWORD> delayMs{0};
        std::atomic<int> asked{0};
    };

    explicit SlowService(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::optional<bool> exeRunning(const std::string& name) override
    {
        ++state_->asked;
        Sleep(state_->delayMs);
        return ProcessSnapshot::exeRunning(name);
    }

private:
    std::shared_ptr<State> state_;
};

// Copies of a small sleeping program, started under distinctive file names.
class WindowsProcessTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("pylvane-probes-" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(dir_);
    }

    void TearDown() override
    {
        for (HANDLE process : children_) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    bool start(const std::wstring& fileName)
    {
        const fs::path copy = dir_ / fileName;
        fs::copy_file(PROBE_SLEEPER_PATH, copy, fs::copy_options::overwrite_existing);
        std::wstring commandLine = L"\"" + copy.wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            return false;
        }
        CloseHandle(process.hThread);
        children_.push_back(process.hProcess);
        return true;
    }

    fs::path dir_;
    std::vector<HANDLE> children_;
};

// The probe, the service alone (two rows per round trip, so that the list takes several) and the process table
// alone give the same answers.
TEST_F(WindowsProcessTableTest, FindsTheWholeUtf8FileNameInAnyLetterCase)
{
    ASSERT_TRUE(start(L"Watch Me.EXE"));
    ASSERT_TRUE(start(L"it's.exe"));
    ASSERT_TRUE(start(L"\u00c4rger.exe"));
    const std::u8string fullPath = (dir_ / L"Watch Me.EXE").u8string();
    const auto expectAnswers = [&](const std::function<std::optional<bool>(const std::string&)>& ask,
                                   const char* source) {
        for (const char* name : {"Watch Me.EXE", "watch me.exe", "it's.exe", "IT'S.EXE", "\xc3\xa4RGER.EXE"}) {
            EXPECT_EQ(ask(name), true) << source << ": " << name;
        }
        for (const std::string& name :
             {std::string("Watch Me"), std::string("Watch Me.EXE "), std::string(fullPath.begin(), fullPath.end()),
              std::string("it''s.exe"), std::string("x' or Name like '%"), std::string("\xc4rger.exe"),
              std::string()}) {
            EXPECT_EQ(ask(name), false) << source << ": \"" << name << '"';
        }
    };
    expectAnswers([](const std::string& name) { return exeRunning(name); }, "probe");
    expectAnswers([](const std::string& name) { return ProcessSnapshot::exeRunning(name); }, "process table");
    std::thread([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        WmiProcessNames service(2);
        expectAnswers([&](const std::string& name) { return service.exeRunning(name); }, "service");
        CoUninitialize();
    }).join();
}

// The UI thread may already be in a COM apartment of either kind, or in none.
TEST_F(WindowsProcessTableTest, WorksInAnyApartmentAndLeavesTheCallersOneAlone)
{
    ASSERT_TRUE(start(L"apartment.exe"));
    for (const DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
        std::thread([model] {
            ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
            EXPECT_EQ(exeRunning("apartment.exe"), true) << model;
            EXPECT_EQ(CoInitializeEx(nullptr, model), S_FALSE) << "the thread is still in its apartment";
            CoUninitialize();
            CoUninitialize();
        }).join();
    }
    std::thread([] {
        EXPECT_EQ(exeRunning("apartment.exe"), true);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "the probe left its own apartment";
        CoUninitialize();
    }).join();
}

// Without a bound the test would hang; the short wait keeps it quick.
TEST_F(WindowsProcessTableTest, AHungOrFailingServiceGivesWayToTheProcessTable)
{
    ASSERT_TRUE(start(L"Hung Service.exe"));
    const auto state = std::make_shared<HungService::State>();
    {
        ProcessQuery query(std::make_unique<HungService>(state), std::chrono::milliseconds(200));
        EXPECT_EQ(query.exeRunning("HUNG SERVICE.EXE"), true);
        EXPECT_EQ(query.exeRunning("Hung Service"), false);
        SetEvent(state->release);
        Sleep(100);
        EXPECT_EQ(state->asked, 1) << "a question was handed to the service while it hung";
        // Back from its hang the service is asked again, and its failure is answered from the table.
        EXPECT_TRUE(waitFor([&] { return query.exeRunning("hung service.exe") == true && state->asked == 2; }));
        EXPECT_EQ(query.exeRunning("absent.exe"), false);
    }
    ResetEvent(state->release);
    {
        ProcessQuery query(std::make_unique<HungService>(state), std::chrono::milliseconds(200));
        EXPECT_EQ(query.exeRunning("hung service.exe"), true);
    } // the end does not wait for the hung thread
    SetEvent(state->release);

    // With the process table unreadable as well, nothing is known, which is not the same as nothing running.
    ProcessQuery blind(std::make_unique<HungService>(state), std::chrono::milliseconds(200),
                       [](const std::string&) -> std::optional<bool> { return std::nullopt; });
    EXPECT_EQ(blind.exeRunning("hung service.exe"), std::nullopt);
}

// A service that takes 4.4 s over every answer, each inside the wait for one question, would hold up a cycle of
// 15 processes (30 questions) for over two minutes. It gets one question; the rest go to the process table, and
// every process is still found. The next cycle asks the service again.
TEST_F(WindowsProcessTableTest, ASlowServiceHoldsTheCycleUpForItsShareOnly)
{
    constexpr int kProcesses = 15;
    const auto name = [](int n) { return "slow" + std::to_string(n) + ".exe"; };
    for (int n = 1; n <= kProcesses; ++n) {
        ASSERT_TRUE(start(std::wstring(L"slow") + std::to_wstring(n) + L".exe"));
    }
    const auto state = std::make_shared<SlowService::State>();
    state->delayMs = 4400;
    ProcessQuery query(std::make_unique<SlowService>(state));

    query.beginCycle();
    const auto began = std::chrono::steady_clock::now();
    const auto held = [&] { return std::chrono::steady_clock::now() - began; };
    int found = 0;
    // Without a bound the rest of the cycle would take minutes: it stops once over the bound.
    for (int n = 1; n <= kProcesses && held() <= 5500ms; ++n) {
        found += query.exeRunning(name(n)) == true;
        found += query.exeRunning(name(n)) == true;
    }
    const double seconds = std::chrono::duration<double>(held()).count();
    EXPECT_LE(seconds, 5.5);
    EXPECT_EQ(found, 2 * kProcesses);
    EXPECT_EQ(state->asked, 1);
    std::printf("a cycle of %d questions with 4.4 s answers took %.2f s\n", 2 * kProcesses, seconds);

    state->delayMs = 0;
    query.beginCycle();
    for (int n = 1; n <= kProcesses; ++n) {
        EXPECT_EQ(query.exeRunning(name(n)), true) << name(n);
    }
    EXPECT_EQ(state->asked, 1 + kProcesses) << "a quick service answers the whole next cycle";
}

} // namespace
