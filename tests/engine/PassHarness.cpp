#include "PassHarness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/TextFile.h"

namespace enginetest {

void PassTest::MakeDir(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    ASSERT_FALSE(ec) << path;
}

std::vector<std::string> PassTest::HistoryOnDisk() const {
    std::vector<std::string> lines;
    ng::ReadTextLines(sandbox.File("HistList"), lines);
    return lines;
}

std::string PassTest::FinishPass(CProcessGroups& worker) {
    bool ended = display.WaitForPassEnd(30s);
    EXPECT_TRUE(ended) << "the pass did not end in time";
    if (!ended) {
        worker.RequestStop();
        for (int i = 0; i < 30 && !display.WaitForPassEnd(1s); ++i) {
            worker.Resume();  // a forgotten pause must not hang the test
        }
        if (display.PassEndCount() == 0) {
            std::fputs("the pass does not end even when stopped\n", stderr);
            std::_Exit(1);
        }
    }
    worker.Join();
    EXPECT_EQ(display.PassEndCount(), 1);
    auto calls = display.Calls();
    EXPECT_TRUE(!calls.empty() && calls.back() == "PassEnded");
    return display.LastStatus();
}

std::string PassTest::RunPass() {
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    EXPECT_TRUE(worker.Start());
    return FinishPass(worker);
}

}  // namespace enginetest
