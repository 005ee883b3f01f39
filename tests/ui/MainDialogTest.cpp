// The main window: its states, what it shows for each display operation,
// its confirmations, and whole passes against a scripted news server.

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "WindowTestSupport.h"
#include "engine/PassHarness.h"
#include "engine/ProcessGroups.h"
#include "settings/SettingsStore.h"
#include "support/ScriptedServer.h"
#include "support/TestSupport.h"
#include "ui/GroupSelectDialog.h"
#include "ui/Imvb.h"
#include "ui/MainDialog.h"
#include "ui/PasswordDialog.h"
#include "ui/PendingDialog.h"
#include "ui/SetupDialog.h"
#include "ui/StaticText.h"
#include "ui/ThumbnailDialog.h"
#include "ui/UiText.h"

using ngwin::ModalAnswer;
using ngwin::Press;
using ngwin::WaitUntil;
using namespace std::chrono_literals;

namespace {

constexpr char kGroup[] = "alt.binaries.pictures.test";

void Set(const std::string& key, const std::string& value) {
    ng::Profile().WriteProfileString("Newsgleaner", key, value);
}

std::string Setting(const std::string& key) {
    return ng::Profile().GetProfileString("Newsgleaner", key, "(none)");
}

// A picture article as a poster's program sends it: a base64 JPEG part.
// Each article's picture differs (its width by the number): the same bytes
// twice would be a duplicate, not a second file saved.
enginetest::TestArticle PictureArticle(int number, const std::string& subject,
                                       const std::string& fileName, int width = 0) {
    width = width > 0 ? width : 150 + 2 * number;
    enginetest::TestArticle a;
    a.number = number;
    a.subject = subject;
    a.body = enginetest::Base64Body(
        ngwin::MakeJpeg(width, 120),
        "Content-Disposition: attachment; filename=\"" + fileName + "\"\r\n");
    return a;
}

// A sandbox (working folder and settings file), a download folder and a
// scripted news server with one group, the settings pointing at it. The
// server can hold an article's answer until the test releases it.
struct World {
    World() {
        downloadDir = sandbox.File("download") + "/";
        ::mkdir(downloadDir.c_str(), 0755);
        server.SetLifetime(90s);
        Set("NNTPHost", "127.0.0.1");
        Set("NNTPPort", std::to_string(server.Port()));
        Set("DownloadDirectory", downloadDir);
        Set("MinLines", "1");
        Set("MaxLines", "1000000");
        Set("SubjectIncl", "");
        Set("ReadTimeout", "20");
        Set("ShowThumbnail", "1");
        Set("ArticlesInFlight", "1");  // the tests count the ARTICLE commands
        Set("NNTPCompress", "0");
        ngtest::WriteFile(sandbox.File("Groups.127.0.0.1"), std::string(kGroup) + "\n");
        news.AddGroup(kGroup);
        news.OnArticle([this](const std::string&, int number) {
            if (number == holdAt) {
                held = true;
                for (int i = 0; i < 1500 && !released; ++i) {
                    std::this_thread::sleep_for(10ms);
                }
            }
        });
    }
    ~World() {
        released = true;
        server.Stop();  // its handlers use the members below it
    }

    void Add(enginetest::TestArticle article) { news.Add(kGroup, std::move(article)); }
    // Picture articles numbered from 1: "<name> (1/1)" carrying "<name>.jpg".
    void AddPictures(const std::vector<std::string>& names) {
        int number = 0;
        for (const auto& name : names) {
            Add(PictureArticle(++number, name + " (1/1)", name + ".jpg"));
        }
    }
    std::string Mark() const { return ng::Profile().GetProfileString("127.0.0.1", kGroup, ""); }

    ngtest::Sandbox sandbox;
    std::string downloadDir;
    ngtest::ScriptedServer server;
    enginetest::FakeNews news{server};
    std::atomic<int> holdAt{0};  // the article whose answer waits for `released`
    std::atomic<bool> held{false};
    std::atomic<bool> released{false};
};

// The window's controls, for short test lines.
struct Window : CMainDialog {
    const Controls& c() const { return Ui(); }
    bool WaitIdle(int ms = 20000) {
        return WaitUntil([this] { return IsIdle(); }, ms);
    }
    // Shows the picture as the worker does, and waits until it is loaded.
    bool ShowPicture(const std::string& path) {
        Display().ShowThumbnail(path);
        return WaitUntil([this] { return c().thumbnail->HasPicture(); });
    }
};

// Presses Go and waits until the pass holds the answer to world.holdAt.
bool GoUntilHeld(Window& w, const World& world) {
    w.c().go->click();
    return WaitUntil([&] { return world.held.load(); });
}

// A window whose worker thread cannot be started.
struct NoThreadWindow : Window {
    bool StartWorker(CProcessGroups&, int) override { return false; }
};

QString Shown(const CStaticText* field) {
    return field->ShownText();
}

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(QApplication::activeModalWidget() == nullptr); }

    void opensIdleWithEveryControl() {
        ngtest::Sandbox sandbox;
        Set("NNTPHost", "news.example.com");
        Set("Priority", "6");
        Set("ShowThumbnail", "1");
        Window w;
        w.show();
        const auto& c = w.c();
        QCOMPARE(w.windowTitle(), QString("Newsgleaner V2.6k - [news.example.com]"));
        struct Caption {
            QAbstractButton* button;
            const char* text;
        } captions[] = {{c.go, "&Go"},
                        {c.pause, "&Pause"},
                        {c.stop, "S&top"},
                        {c.catchUp, "C&atch-up"},
                        {c.groups, "G&roups..."},
                        {c.setup, "S&etup..."},
                        {c.pending, "Pe&nding..."},
                        {c.close, "&Close"},
                        {c.show, "S&how"},
                        {c.fullSize, "&Full Size"},
                        {c.deleteFile, "&Delete File"},
                        {c.set, "&Set"}};
        for (const auto& caption : captions) {
            QCOMPARE(caption.button->text(), QString(caption.text));
        }
        QCOMPARE(c.priorityFrame->title(), QString("Pr&iority"));
        QCOMPARE(c.aboutAction->text(), QString("&About Newsgleaner..."));
        QVERIFY(c.pause->isCheckable());
        QVERIFY(c.show->isCheckable());

        // The idle state.
        QVERIFY(w.IsIdle());
        QVERIFY(c.go->isEnabled() && c.go->isDefault());
        QVERIFY(!c.stop->isEnabled() && !c.stop->isDefault());
        QVERIFY(!c.catchUp->isEnabled());
        QVERIFY(!c.pause->isEnabled());
        QVERIFY(!c.pending->isEnabled());
        QVERIFY(c.close->isEnabled());
        QVERIFY(!c.priorityFrame->isEnabled() && !c.slider->isEnabled() && !c.set->isEnabled());
        QVERIFY(c.groups->isEnabled() && c.setup->isEnabled());
        QVERIFY(!w.IsTimerRunning());
        QVERIFY(c.show->isChecked() && c.thumbnailFrame->isVisible());
        QCOMPARE(c.slider->minimum(), 1);
        QCOMPARE(c.slider->maximum(), 5);
        QCOMPARE(c.slider->value(), 5);  // 6 shows at the nearest end
        QCOMPARE(c.status->text(), QString("  Ready..."));
        QCOMPARE(c.thumbnailFrame->title(), QString());
        QCOMPARE(Shown(c.scanned), QString("0"));
        QCOMPARE(Shown(c.elapsed), QString());
    }

    void tabOrderPutsTheThumbnailButtonsBeforeThePriority() {
        ngtest::Sandbox sandbox;
        Set("ShowThumbnail", "1");
        Window w;
        QCOMPARE(ngwin::TabOrder(w),
                 QStringList({"&Go", "&Pause", "S&top", "C&atch-up", "G&roups...", "S&etup...",
                              "Pe&nding...", "&Close", "S&how", "&Full Size", "&Delete File",
                              "QSlider", "&Set", "?"}));
    }

    void setupAndGroupsOpenTheirDialogs() {
        ngtest::Sandbox sandbox;
        Set("NNTPHost", "old.example.com");
        Window w;
        w.show();
        // Setup: a new host typed and OK'd shows in the title at once.
        ngwin::ModalAnswer setup([](QWidget* modal) {
            auto* dialog = qobject_cast<CSetupDialog*>(modal);
            auto* host = dialog ? dialog->findChild<QComboBox*>("host") : nullptr;
            if (!host) {
                return false;
            }
            host->setEditText("new.example.com");
            dialog->accept();
            return true;
        });
        w.c().setup->click();
        QVERIFY(setup.Answered());
        QCOMPARE(w.windowTitle(), QString("Newsgleaner V2.6k - [new.example.com]"));
        // Groups: the group select dialog, cancelled; nothing changes here.
        ngwin::ModalAnswer groups([](QWidget* modal) {
            auto* dialog = qobject_cast<CGroupSelectDialog*>(modal);
            if (dialog) {
                dialog->reject();
            }
            return dialog != nullptr;
        });
        w.c().groups->click();
        QVERIFY(groups.Answered());
        QVERIFY(w.IsIdle());
    }

    void showFollowsTheSettingAndTheButton() {
        ngtest::Sandbox sandbox;
        Set("Priority", "0");
        Window w;
        w.show();
        QCOMPARE(w.c().slider->value(), 1);
        QVERIFY(!w.c().show->isChecked());  // ShowThumbnail missing: 0
        QVERIFY(!w.c().thumbnailFrame->isVisible());
        QSize size = w.size();
        w.c().show->click();
        QVERIFY(w.c().thumbnailFrame->isVisible());
        w.c().show->click();
        QVERIFY(!w.c().thumbnailFrame->isVisible());
        QCOMPARE(w.size(), size);
        QCOMPARE(Setting("ShowThumbnail"), std::string("(none)"));  // never written here
    }

    void goWithoutHostOnlyTellsTheUser() {
        ngtest::Sandbox sandbox;
        Window w;
        w.show();
        ModalAnswer answer(Press(QMessageBox::Ok));
        w.c().go->click();
        QVERIFY(answer.Answered());
        QCOMPARE(answer.Text(), QString("No news server specified -- run 'Setup'"));
        QCOMPARE(answer.Title(), QString("Newsgleaner"));
        QVERIFY(w.IsIdle());
        QVERIFY(!w.IsTimerRunning());
        QVERIFY(w.c().go->isEnabled() && !w.c().stop->isEnabled() && w.c().close->isEnabled());
    }

    void workerThatCannotStartIsReported() {
        ngtest::Sandbox sandbox;
        Set("NNTPHost", "127.0.0.1");
        NoThreadWindow w;
        w.show();
        ModalAnswer answer(Press(QMessageBox::Ok));
        w.c().go->click();
        QVERIFY(answer.Answered());
        QVERIFY(answer.Text().contains("could not be started"));
        QVERIFY(w.IsIdle());
        QVERIFY(!w.IsTimerRunning());
        QVERIFY(w.c().go->isEnabled() && w.c().go->isDefault() && !w.c().stop->isEnabled());
        QVERIFY(!w.c().priorityFrame->isEnabled());
    }

    void displayOperationsShowTheirTexts() {
        ngtest::Sandbox sandbox;
        Window w;
        w.show();
        ng::IDisplay& display = w.Display();
        // From another thread, as the worker calls them.
        std::thread worker([&] {
            display.SetStatusText("Connected to news & more");
            display.SetSubjectText("Tom & Jerry && co");
            display.SetSavingToText("/pics/cat&dog.jpg");
            display.SetFromText("Tom &Jerry");
            display.SetBytesTransferred(1234567);
            display.SetArticlesScanned(42);
            display.SetArticlesSaved(7);
            display.SetRate(ng::BytesPerSec, 0, 500);
            display.SetRate(ng::BinaryBytesPerSec, 4, 1001);
            display.SetHistorySkipped(3);
            display.SetCrosspostsSkipped(11);
            display.SetProgress(ng::GroupProgress, 3, 12, false);
            display.SetProgress(ng::ArticleProgress, 5, 0, false);
            display.SetProgress(ng::LinesDecoded, 9, 10, false);
            display.SetProgress(ng::LinesDecoded, 0, 0, true);
            display.SetStatusProgress(5, 8);
            display.EnablePending(true);
            for (int i = 0; i < 300; ++i) {  // many updates arrive whole and in order
                display.SetArticlesScanned(i);
            }
        });
        worker.join();
        const auto& c = w.c();
        QVERIFY(WaitUntil([&] { return Shown(c.scanned) == "299"; }));
        QCOMPARE(c.status->text(), QString("  Connected to news & more"));
        QCOMPARE(Shown(c.subject), QString("Tom & Jerry && co"));  // every "&" literally
        QCOMPARE(Shown(c.savingTo), QString("/pics/cat&dog.jpg"));
        QCOMPARE(c.from->text(), QString("Tom &Jerry"));  // as given: a mnemonic
        QCOMPARE(Shown(c.from), QString("Tom Jerry"));
        QCOMPARE(Shown(c.bytes), QString("1,234,567"));
        QCOMPARE(Shown(c.saved), QString("7"));
        QCOMPARE(Shown(c.rates[ng::BytesPerSec]), QString("0"));
        QCOMPARE(Shown(c.rates[ng::BinaryBytesPerSec]), QString("250"));
        QCOMPARE(Shown(c.historySkipped), QString("3"));
        QCOMPARE(Shown(c.crosspostsSkipped), QString("11"));
        QCOMPARE(c.bars[ng::GroupProgress]->value(), 25);
        QCOMPARE(Shown(c.barTexts[ng::GroupProgress]), QString("3 of 12 (25%)"));
        QCOMPARE(c.bars[ng::ArticleProgress]->value(), 0);
        QCOMPARE(Shown(c.barTexts[ng::ArticleProgress]), QString("0 of 1 (0%)"));
        QCOMPARE(c.bars[ng::LinesDecoded]->value(), 0);
        QCOMPARE(Shown(c.barTexts[ng::LinesDecoded]), QString());
        QCOMPARE(c.statusBar->value(), 62);
        QVERIFY(c.pending->isEnabled());

        display.SetRateSince(ng::BytesPerSec, 100, 100, 9999);
        display.SetRateSince(ng::BinaryBytesPerSec, 100, 110, 9999);
        display.SetStatusProgress(3, 0);
        display.SetBytesTransferred(999);
        display.SetSubjectText("");
        display.EnablePending(false);
        QVERIFY(WaitUntil([&] { return !c.pending->isEnabled(); }));
        QCOMPARE(Shown(c.rates[ng::BytesPerSec]), QString("0"));
        QCOMPARE(Shown(c.rates[ng::BinaryBytesPerSec]), QString("999"));
        QCOMPARE(c.statusBar->value(), 0);
        QCOMPARE(Shown(c.bytes), QString("999"));
        QCOMPARE(Shown(c.subject), QString());
    }

    void messageFromTheWorkerHoldsLaterUpdates() {
        ngtest::Sandbox sandbox;
        Window w;
        w.show();
        QString seenBehind;
        ModalAnswer answer([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) {
                return false;
            }
            seenBehind = w.c().status->text();  // the later update must wait for OK
            box->button(QMessageBox::Ok)->click();
            return true;
        });
        std::thread worker([&] {
            w.Display().ShowMessage("Unable to open download directory:\n\n/nowhere/");
            w.Display().SetStatusText("after");
        });
        worker.join();
        QVERIFY(WaitUntil([&] { return w.c().status->text() == "  after"; }));
        QVERIFY(answer.Answered());
        QCOMPARE(answer.Text(), QString("Unable to open download directory:\n\n/nowhere/"));
        QCOMPARE(answer.Title(), QString("Newsgleaner"));
        QCOMPARE(seenBehind, QString("  Ready..."));
    }

    void thumbnailRulesInTheWindow() {
        ngtest::Sandbox sandbox;
        std::string dir = sandbox.File("pics") + "/";
        ::mkdir(dir.c_str(), 0755);
        ngtest::WriteFile(dir + "cat&dog.jpg", ngwin::MakeJpeg(200, 150));
        ngtest::WriteFile(dir + "other.bmp", ngwin::MakeJpeg(20, 20));
        ngtest::WriteFile(dir + "SHOUT.JPG", ngwin::MakeJpeg(20, 20));
        ngtest::WriteFile(dir + "broken.jpg", "no picture");
        ngtest::WriteFile(sandbox.File("plain.jpg"), ngwin::MakeJpeg(30, 20));
        Set("ShowThumbnail", "0");
        Window w;
        w.show();
        const auto& c = w.c();
        auto caption = [&] { return ng::ui::WithoutMnemonics(c.thumbnailFrame->title()); };

        // Updated while hidden, too.
        QVERIFY(w.ShowPicture(dir + "cat&dog.jpg"));
        QCOMPARE(caption(), QString("cat&dog.jpg"));
        QCOMPARE(c.thumbnail->GetImageFile(), dir + "cat&dog.jpg");

        for (const std::string& ignored :
             {dir + "other.bmp", dir + "SHOUT.JPG", dir + "broken.jpg", dir + "missing.jpg"}) {
            w.Display().ShowThumbnail(ignored);
            w.Display().SetStatusText(ignored);
            QVERIFY(WaitUntil([&] { return c.status->text().endsWith(ignored.c_str()); }));
            QCOMPARE(caption(), QString("cat&dog.jpg"));
            QCOMPARE(c.thumbnail->GetImageFile(), dir + "cat&dog.jpg");
            QVERIFY(c.thumbnail->HasPicture());
        }

        w.Display().ShowThumbnail("plain.jpg");  // no slash: the whole path names it
        QVERIFY(WaitUntil([&] { return caption() == "plain.jpg"; }));

        w.Display().ShowThumbnail("");
        QVERIFY(WaitUntil([&] { return !c.thumbnail->HasPicture(); }));
        QCOMPARE(c.thumbnailFrame->title(), QString());
    }

    void fullSizeAndDeleteFile() {
        ngtest::Sandbox sandbox;
        std::string path = sandbox.File("big&small.jpg");
        ngtest::WriteFile(path, ngwin::MakeJpeg(320, 240));
        Window w;
        w.show();
        const auto& c = w.c();

        // Nothing shown: neither command opens anything.
        for (QPushButton* button : {c.fullSize, c.deleteFile}) {
            ModalAnswer none([](QWidget* modal) { return modal != nullptr; }, 600ms);
            button->click();
            QVERIFY(!none.Answered());
        }

        QVERIFY(w.ShowPicture(path));

        QRect screen = w.screen()->availableGeometry();
        ng::FullSizeRoom room;
        QPoint at;
        ModalAnswer full([&](QWidget* modal) {
            auto* window = qobject_cast<CThumbnailDialog*>(modal);
            if (!window) {
                return false;
            }
            room = window->Room();
            at = window->pos();
            window->close();
            return true;
        });
        c.fullSize->click();
        QVERIFY(full.Answered());
        QCOMPARE(full.Title(), QString::fromStdString(path));
        QCOMPARE(room, ng::FullSizeRoomFor(screen.width(), screen.height(), 320, 240));
        QCOMPARE(at, screen.topLeft());

        // No keeps the file; the destructive default is No.
        ModalAnswer no(Press(QMessageBox::No));
        c.deleteFile->click();
        QVERIFY(no.Answered());
        QCOMPARE(no.Text(), QString::fromStdString("Delete " + path + "?"));
        QCOMPARE(no.DefaultButton(), QMessageBox::No);
        QCOMPARE(no.Icon(), QMessageBox::Question);
        QVERIFY(ngtest::FileExists(path));

        ModalAnswer yes(Press(QMessageBox::Yes));
        c.deleteFile->click();
        QVERIFY(yes.Answered());
        QVERIFY(!ngtest::FileExists(path));
        QVERIFY(!c.thumbnail->HasPicture());
        QCOMPARE(c.thumbnail->GetImageFile(), std::string());
        QCOMPARE(c.thumbnailFrame->title(), QString());
    }

    void deleteThatFailsLeavesTheThumbnail() {
        ngtest::Sandbox sandbox;
        std::string path = sandbox.File("gone.jpg");
        ngtest::WriteFile(path, ngwin::MakeJpeg(50, 40));
        Window w;
        w.show();
        QVERIFY(w.ShowPicture(path));
        ::unlink(path.c_str());  // someone else removed it meanwhile

        ModalAnswer yes(Press(QMessageBox::Yes));
        ModalAnswer report([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box || !box->text().contains("Unable to delete")) {
                return false;
            }
            box->button(QMessageBox::Ok)->click();
            return true;
        });
        w.c().deleteFile->click();
        QVERIFY(yes.Answered());
        QVERIFY(report.Answered());
        QVERIFY(report.Text().contains("No such file"));
        QVERIFY(w.c().thumbnail->HasPicture());
        QCOMPARE(w.c().thumbnail->GetImageFile(), path);
    }

    void aboutBox() {
        ngtest::Sandbox sandbox;
        Window w;
        w.show();
        for (int way = 0; way < 2; ++way) {
            ModalAnswer answer([](QWidget* modal) {
                auto* box = qobject_cast<QDialog*>(modal);
                if (!box || box->windowTitle() != "About Newsgleaner") {
                    return false;
                }
                bool picture = false;
                for (auto* label : box->findChildren<QLabel*>()) {
                    picture = picture || !label->pixmap().isNull();
                }
                auto* ok = box->findChild<QPushButton*>();
                if (!picture || !ok || ok->text() != "OK") {
                    return false;
                }
                ok->click();
                return true;
            });
            if (way == 0) {
                w.c().about->click();
            } else {
                w.c().aboutAction->trigger();
            }
            QVERIFY(answer.Answered());
        }
    }

    void wholePassFromGoBackToIdle() {
        World world;
        world.Add(PictureArticle(1, "Tom & Jerry (1/1)", "first.jpg"));
        world.Add(PictureArticle(2, "cat&dog (1/1)", "cat&dog.jpg", 200));
        world.holdAt = 2;
        Window w;
        w.show();
        const auto& c = w.c();
        c.go->click();

        // Running: the state table's other row.
        QVERIFY(!w.IsIdle());
        QVERIFY(w.IsTimerRunning());
        QVERIFY(!c.go->isEnabled() && !c.go->isDefault());
        QVERIFY(c.stop->isEnabled() && c.stop->isDefault());
        QVERIFY(c.catchUp->isEnabled() && c.pause->isEnabled());
        QVERIFY(!c.close->isEnabled() && !c.groups->isEnabled() && !c.setup->isEnabled());
        QVERIFY(c.priorityFrame->isEnabled() && c.slider->isEnabled() && c.set->isEnabled());

        // While the second article is held: the first is shown, the timer ticks.
        QVERIFY(WaitUntil([&] { return world.held.load(); }));
        QVERIFY(WaitUntil(
            [&] { return c.thumbnail->GetImageFile() == world.downloadDir + "first.jpg"; }));
        QVERIFY(c.pending->isEnabled());
        QVERIFY(WaitUntil([&] { return !Shown(c.elapsed).isEmpty(); }, 3000));
        QVERIFY(QRegularExpression("^ 0:00:0[0-9]$").match(Shown(c.elapsed)).hasMatch());
        world.released = true;

        QVERIFY(w.WaitIdle());
        QVERIFY(!w.IsTimerRunning());
        QVERIFY(c.go->isEnabled() && c.go->isDefault() && !c.stop->isEnabled());
        QVERIFY(c.close->isEnabled() && !c.pause->isEnabled() && !c.priorityFrame->isEnabled());
        QVERIFY(!c.pending->isEnabled());
        QCOMPARE(c.status->text(), QString("  Operation complete"));
        QCOMPARE(Shown(c.saved), QString("2"));
        QCOMPARE(Shown(c.scanned), QString("2"));
        QVERIFY(
            QRegularExpression("^[1-9][0-9]{0,2}(,[0-9]{3})+$").match(Shown(c.bytes)).hasMatch());
        QCOMPARE(Shown(c.barTexts[ng::GroupProgress]), QString());
        QCOMPARE(Shown(c.subject), QString());
        // The last picture stays, its name shown literally.
        QCOMPARE(c.thumbnail->GetImageFile(), world.downloadDir + "cat&dog.jpg");
        QCOMPARE(c.thumbnail->GetImageWidth(), 200);
        QCOMPARE(ng::ui::WithoutMnemonics(c.thumbnailFrame->title()), QString("cat&dog.jpg"));
        QVERIFY(ngtest::FileExists(world.downloadDir + "first.jpg"));
        QCOMPARE(world.Mark(), std::string("2"));

        // A second pass finds nothing new and ends again.
        world.holdAt = 0;
        c.go->click();
        QVERIFY(w.WaitIdle());
        QCOMPARE(c.status->text(), QString("  Operation complete"));
        QCOMPARE(Shown(c.saved), QString("0"));
        QCOMPARE(world.server.Accepted(), 2);
    }

    void stopAsksFirst() {
        World world;
        world.AddPictures({"one", "two"});
        world.holdAt = 1;
        Window w;
        w.show();
        QVERIFY(GoUntilHeld(w, world));

        ModalAnswer no(Press(QMessageBox::No));
        w.c().stop->click();
        QVERIFY(no.Answered());
        QCOMPARE(no.Text(), QString("Are you sure you want to stop?"));
        QCOMPARE(no.DefaultButton(), QMessageBox::Yes);
        QCOMPARE(no.Icon(), QMessageBox::Question);
        QCOMPARE(no.Title(), QString("Newsgleaner"));
        ngwin::Pump(200);
        QVERIFY(!w.IsIdle());

        ModalAnswer yes(Press(QMessageBox::Yes));
        w.c().stop->click();
        QVERIFY(yes.Answered());
        // The wait for the held article ends on the stop; the window returns
        // to idle only when the worker reports its end.
        QVERIFY(w.WaitIdle());
        QCOMPARE(w.c().status->text(), QString("  Operation complete"));
        QVERIFY(!ngtest::FileExists(world.downloadDir + "two.jpg"));
    }

    void pauseThenStop() {
        World world;
        world.AddPictures({"one", "two"});
        world.holdAt = 1;
        Window w;
        w.show();
        QVERIFY(GoUntilHeld(w, world));
        w.c().pause->click();
        QVERIFY(w.c().pause->isChecked());
        world.released = true;  // the article arrives, but the worker is paused

        ModalAnswer yes(Press(QMessageBox::Yes));
        w.c().stop->click();
        QVERIFY(yes.Answered());
        const size_t sent = world.server.Received().size();
        ngwin::Pump(700);
        QVERIFY(!w.IsIdle());  // nothing happens until Pause is released
        QCOMPARE(world.server.Received().size(), sent);
        QVERIFY(!ngtest::FileExists(world.downloadDir + "one.jpg"));

        w.c().pause->click();
        QVERIFY(w.WaitIdle());
        QVERIFY(!w.c().pause->isChecked());
        QVERIFY(world.server.Received().find("ARTICLE 2") == std::string::npos);
    }

    void catchUpMarksTheGroupRead() {
        World world;
        world.AddPictures({"p1", "p2", "p3"});
        world.holdAt = 1;
        Window w;
        w.show();
        QVERIFY(GoUntilHeld(w, world));

        ModalAnswer no(Press(QMessageBox::No));
        w.c().catchUp->click();
        QVERIFY(no.Answered());
        QCOMPARE(no.Text(), QString("This will cause all articles in this group to be marked as "
                                    "read.\n\nDo you wish to continue?"));
        QCOMPARE(no.DefaultButton(), QMessageBox::No);
        QVERIFY(!w.IsIdle());

        ModalAnswer yes(Press(QMessageBox::Yes));
        w.c().catchUp->click();
        QVERIFY(yes.Answered());
        world.released = true;
        QVERIFY(w.WaitIdle());
        QCOMPARE(world.Mark(), std::string("3"));
        QVERIFY(world.server.Received().find("ARTICLE 3") == std::string::npos);
    }

    void setAppliesAndStoresThePriority() {
        World world;
        world.AddPictures({"one"});
        world.holdAt = 1;
        Set("Priority", "3");
        Window w;
        w.show();
        QVERIFY(GoUntilHeld(w, world));
        w.c().slider->setValue(2);
        w.c().set->click();
        QCOMPARE(Setting("Priority"), std::string("2"));
        world.released = true;
        QVERIFY(w.WaitIdle());
        QVERIFY(!w.c().set->isEnabled());
    }

    void escapeAndCloseWhileAPassRuns() {
        World world;
        world.AddPictures({"one", "two"});
        world.holdAt = 1;
        Window w;
        w.show();
        QVERIFY(GoUntilHeld(w, world));

        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
        QVERIFY(!w.IsIdle());

        ModalAnswer no(Press(QMessageBox::No));
        QVERIFY(!w.close());
        QVERIFY(no.Answered());
        QCOMPARE(no.Text(), QString("A download is running. Stop it and close when it has ended?"));
        QVERIFY(w.isVisible());
        QVERIFY(!w.IsIdle());

        // With Pause held, Yes resumes the worker so that it can stop.
        w.c().pause->click();
        ModalAnswer yes(Press(QMessageBox::Yes));
        QVERIFY(!w.close());  // not yet: the window goes once the pass has ended
        QVERIFY(yes.Answered());
        QVERIFY(WaitUntil([&] { return !w.isVisible(); }));
        QVERIFY(w.IsIdle());
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QVERIFY(!ngtest::FileExists(world.downloadDir + "two.jpg"));
    }

    void closingWhenIdle() {
        ngtest::Sandbox sandbox;
        {
            Window w;
            w.show();
            QTest::keyClick(&w, Qt::Key_Escape);  // the cancel path ends the window
            QVERIFY(!w.isVisible());
            QCOMPARE(w.result(), int(QDialog::Rejected));
        }
        {
            Window w;
            w.show();
            w.c().close->click();
            QVERIFY(!w.isVisible());
            QCOMPARE(w.result(), int(QDialog::Accepted));
        }
    }

    void pendingFilesWhileTheWorkerWaits() {
        World world;
        world.Add(PictureArticle(1, "first (1/1)", "first.jpg"));
        world.Add(PictureArticle(2, "delta (1/1)", "delta.jpg"));
        world.Add(PictureArticle(3, "Bravo (1/1)", "bravo.jpg"));
        world.Add(PictureArticle(4, "alpha (1/1)", "alpha.jpg"));
        world.holdAt = 1;
        Window w;
        w.show();
        w.c().go->click();
        QVERIFY(WaitUntil([&] { return world.held.load() && w.c().pending->isEnabled(); }));

        auto subjects = [](CPendingDialog* d) {
            QStringList list;
            for (int i = 0; i < d->List()->topLevelItemCount(); ++i) {
                list << d->List()->topLevelItem(i)->text(0);
            }
            return list;
        };

        // Remove and sort, then Cancel: all undone.
        QStringList seen;
        ModalAnswer cancel([&](QWidget* modal) {
            auto* d = qobject_cast<CPendingDialog*>(modal);
            if (!d) {
                return false;
            }
            seen = subjects(d);
            d->List()->topLevelItem(1)->setSelected(true);
            d->List()->setFocus();
            QTest::keyClick(d->List(), Qt::Key_Delete);
            d->List()->header()->sectionClicked(0);
            QPushButton* cancelButton = nullptr;
            for (auto* b : d->findChildren<QPushButton*>()) {
                if (b->text() == "Cancel") {
                    cancelButton = b;
                }
            }
            cancelButton->click();
            return true;
        });
        w.c().pending->click();
        QVERIFY(cancel.Answered());
        QCOMPARE(seen, (QStringList{"delta (1/1)", "Bravo (1/1)", "alpha (1/1)"}));

        // With Pause checked too: remove "delta", sort, OK. The worker stays
        // paused after the dialog, and sends nothing while it is open.
        w.c().pause->click();
        world.released = true;
        ngwin::Pump(300);
        size_t sentAtOpen = 0;
        bool quietWhileOpen = false;
        ModalAnswer ok([&](QWidget* modal) {
            auto* d = qobject_cast<CPendingDialog*>(modal);
            if (!d) {
                return false;
            }
            sentAtOpen = world.server.Received().size();
            d->List()->topLevelItem(0)->setSelected(true);
            d->RemoveButton()->click();
            d->List()->header()->sectionClicked(2);
            seen = subjects(d);
            ngwin::Pump(300);
            quietWhileOpen = world.server.Received().size() == sentAtOpen;
            d->accept();
            return true;
        });
        w.c().pending->click();
        QVERIFY(ok.Answered());
        QVERIFY(quietWhileOpen);
        QCOMPARE(seen, (QStringList{"Bravo (1/1)", "alpha (1/1)"}));
        ngwin::Pump(400);
        QVERIFY(!w.IsIdle());
        QCOMPARE(world.news.ArticlesAsked(), std::vector<int>{1});

        w.c().pause->click();
        QVERIFY(w.WaitIdle());
        // Upper case sorts first; the removed article is never asked for.
        QCOMPARE(world.news.ArticlesAsked(), (std::vector<int>{1, 3, 4}));
        QVERIFY(!ngtest::FileExists(world.downloadDir + "delta.jpg"));
        QCOMPARE(Shown(w.c().saved), QString("3"));
    }

    void passwordPromptDuringAPass() {
        World world;
        world.server.OnPrefix("AUTHINFO USER ", "381 more\r\n");
        world.server.OnPrefix("AUTHINFO PASS ", "281 welcome\r\n");
        world.AddPictures({"one"});
        ng::Profile().WriteProfileString("127.0.0.1", "UserAuthentication", "1");
        ng::Profile().WriteProfileString("127.0.0.1", "Username", "reader");
        ng::Profile().WriteProfileString("127.0.0.1", "PromptForPasswd", "1");
        Window w;
        w.show();
        ModalAnswer typed([](QWidget* modal) {
            auto* d = qobject_cast<CPasswordDialog*>(modal);
            if (!d) {
                return false;
            }
            QTest::keyClicks(d->PasswordEdit(), "s3cret pw");
            d->accept();
            return true;
        });
        w.c().go->click();
        QVERIFY(w.WaitIdle());
        QVERIFY(typed.Answered());
        // Typed exactly; how the command line ends is the engine's business.
        QVERIFY(world.server.Received().find("AUTHINFO PASS s3cret pw") != std::string::npos);
        QVERIFY(ngtest::FileExists(world.downloadDir + "one.jpg"));
        QVERIFY(ng::Profile().GetProfileString("127.0.0.1", "Password", "").empty());
    }
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
