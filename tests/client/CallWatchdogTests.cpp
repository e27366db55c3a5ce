// The watchdog of the console's calls, on its own: a step that overruns is
// named once, on the watchdog's thread; steps that end in time never are.
#include "CallWatchdog.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

TEST(CallWatchdog, OnlyAStepThatOverrunsIsNamedAndOnlyOnce) {
    std::mutex lock;
    std::vector<std::string> overran;
    DWORD calledOn = 0;
    {
        CallWatchdog watchdog([&](const std::string& step) {
            std::lock_guard<std::mutex> guard(lock);
            overran.push_back(step);
            calledOn = GetCurrentThreadId();
        });
        { WatchedStep quick(watchdog, 5000, "quick"); }
        {
            WatchedStep slow(watchdog, 50, "slow");
            Sleep(300);
        }
        { WatchedStep again(watchdog, 5000, "again"); }
        Sleep(100);
    }
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(std::vector<std::string>{"slow"}, overran);
    EXPECT_NE(GetCurrentThreadId(), calledOn);
}

}  // namespace
