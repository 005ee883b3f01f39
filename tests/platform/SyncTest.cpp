#include "platform/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/System.h"

using namespace std::chrono_literals;

TEST(PauseGate, NestsLikeASuspendCount) {
    ng::PauseGate gate;
    gate.Pause();
    gate.Pause();
    gate.Resume();
    EXPECT_TRUE(gate.IsPaused());
    EXPECT_FALSE(gate.WaitWhilePausedFor(20ms));
    gate.Resume();
    EXPECT_FALSE(gate.IsPaused());
    gate.Resume();  // unmatched: stays at zero
    EXPECT_EQ(gate.Count(), 0);
    EXPECT_FALSE(gate.WaitWhilePaused());
}

TEST(PauseGate, ReleasesAParkedThread) {
    ng::PauseGate gate;
    gate.Pause();
    std::atomic<bool> passed{false};
    std::thread worker([&] {
        gate.WaitWhilePaused();
        passed = true;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(passed);
    gate.Resume();
    worker.join();
    EXPECT_TRUE(passed);
}

TEST(AutoResetEvent, KeepsASignalSetBeforeTheWait) {
    ng::AutoResetEvent event;
    EXPECT_FALSE(event.TryWait());
    event.Set();
    EXPECT_TRUE(event.WaitFor(0ms));
    EXPECT_FALSE(event.WaitFor(10ms));  // auto-reset: taken once
    event.Set();
    event.Set();
    EXPECT_TRUE(event.TryWait());
    EXPECT_FALSE(event.TryWait());
    std::thread setter([&] { event.Set(); });
    event.Wait();
    setter.join();
}

TEST(System, PriorityLevels) {
    EXPECT_EQ(ng::PriorityLevelForSetting(1), -2);
    EXPECT_EQ(ng::PriorityLevelForSetting(3), 0);
    EXPECT_EQ(ng::PriorityLevelForSetting(5), 2);
    EXPECT_EQ(ng::PriorityLevelForSetting(0), 0);
    EXPECT_EQ(ng::PriorityLevelForSetting(6), 0);
    std::thread t([] { EXPECT_TRUE(ng::SetThreadPriorityLevel(ng::CurrentThreadId(), -2)); });
    t.join();
}

TEST(System, XdgFolders) {
    std::string oldConfig = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    ::setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(ng::DefaultSettingsPath(), "/cfg/newsgleaner.ini");
    EXPECT_EQ(ng::DataHomePath(), "/home/u/.local/share/newsgleaner");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ng::DefaultSettingsPath(), "/home/u/.config/newsgleaner.ini");
}
