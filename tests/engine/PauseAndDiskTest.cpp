// A paused pass stands still and acts on a stop only once resumed; a full
// disk stops the pass with its own status and the right mark.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "PassHarness.h"
#include "platform/Sync.h"

namespace enginetest {
namespace {

using Pause = PassTest;

TEST_F(Pause, PausedPassStandsStillAndStopsOnlyAfterResume) {
    news.AddPictures("alt.test", "p", 3, 900);
    news.Add("alt.next", UUArticle(1, "q.jpg", "q"));
    SetGroups({"alt.test", "alt.next"});
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    ng::AutoResetEvent paused;
    news.OnArticle([&](const std::string&, int number) {
        if (number == 2) {
            worker.Pause();
            worker.Pause();  // nests like a suspend count
            paused.Set();
        }
    });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(paused.WaitFor(10s));
    worker.RequestStop();
    std::this_thread::sleep_for(200ms);
    const size_t shown = display.Calls().size();
    worker.Resume();  // still paused once
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(display.Calls().size(), shown);
    EXPECT_EQ(display.PassEndCount(), 0);
    worker.Resume();
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    EXPECT_EQ(Mark("alt.test"), "1");
    EXPECT_EQ(HistoryOnDisk(), std::vector<std::string>{"p1.jpg"});
    EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{1, 2}));
    EXPECT_EQ(server.Received().find("alt.next"), std::string::npos);
}

TEST_F(Pause, PauseAndResumeContinuesWhereItWas) {
    news.AddPictures("alt.test", "r", 3, 900);
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    ng::AutoResetEvent paused;
    news.OnArticle([&](const std::string&, int number) {
        if (number == 2) {
            worker.Pause();
            paused.Set();
        }
    });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(paused.WaitFor(10s));
    std::this_thread::sleep_for(300ms);
    worker.Resume();
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(Downloaded("r" + std::to_string(n) + ".jpg"), RandomBytes(900, n));
    }
    EXPECT_EQ(Mark("alt.test"), "3");
}

// A small tmpfs mounted over a folder for the life of the object.
class SmallDisk {
public:
    SmallDisk(const std::string& path, const std::string& options) : m_path(path) {
        if (::geteuid() != 0) {
            m_why = "needs root to mount a small file system";
            return;
        }
        if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            m_why = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
            return;
        }
        m_mounted = true;
    }
    ~SmallDisk() {
        if (m_mounted) {
            ::umount2(m_path.c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return m_mounted; }
    const std::string& Why() const { return m_why; }

private:
    std::string m_path;
    bool m_mounted = false;
    std::string m_why;
};

class DiskFull : public PassTest {
protected:
    // Article 1 fits, article 2 does not, article 3 and the next group are
    // never reached.
    void Expect(const std::string& options, const TestArticle& second) {
        SmallDisk disk(downloadDir, options);
        if (!disk.Mounted()) {
            GTEST_SKIP() << disk.Why();
        }
        news.Add("alt.test", UUArticle(1, "small.jpg", RandomBytes(20000, 1)));
        news.Add("alt.test", second);
        news.Add("alt.test", UUArticle(3, "never.jpg", RandomBytes(100, 3)));
        news.Add("alt.next", UUArticle(1, "q.jpg", "q"));
        SetGroups({"alt.test", "alt.next"});
        EXPECT_EQ(RunPass(), "Error--disk or directory full");
        EXPECT_EQ(Downloaded("small.jpg"), RandomBytes(20000, 1));
        EXPECT_EQ(Mark("alt.test"), "1");
        EXPECT_EQ(Mark("alt.next"), "(none)");
        EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{1, 2}));
        EXPECT_EQ(HistoryOnDisk(), std::vector<std::string>{"small.jpg"});
    }
};

TEST_F(DiskFull, UuAttachmentThatDoesNotFit) {
    Expect("size=256k", UUArticle(2, "large.jpg", RandomBytes(400000, 2)));
}

TEST_F(DiskFull, Base64AttachmentThatDoesNotFit) {
    TestArticle a;
    a.number = 2;
    a.subject = "large";
    a.body = Base64Body(JpegLikeBytes(400000, 2),
                        "Content-Disposition: attachment; filename=\"large.jpg\"\r\n");
    Expect("size=256k", a);
}

TEST_F(DiskFull, NoRoomForAnotherFile) {
    // Room for the folder itself and one file.
    Expect("size=1m,nr_inodes=2", UUArticle(2, "large.jpg", RandomBytes(100, 2)));
}

}  // namespace
}  // namespace enginetest
