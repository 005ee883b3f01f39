// The thumbnail's rules, the picture view, and the full-size window.

#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <string>

#include "WindowTestSupport.h"
#include "engine/ThumbnailRules.h"
#include "support/TestSupport.h"
#include "ui/Imvb.h"
#include "ui/ThumbnailDialog.h"
#include "ui/UiText.h"

class ThumbnailTest : public QObject {
    Q_OBJECT

private slots:
    void viewLoadsAndFailsWithoutChange() {
        ngtest::TempDir dir;
        std::string good = dir.File("good.jpg");
        ngtest::WriteFile(good, ngwin::MakeJpeg(300, 200));
        std::string broken = dir.File("broken.jpg");
        ngtest::WriteFile(broken, "not a picture at all");

        // Never shown yet (the thumbnail may be hidden): fitted to its size all the same.
        CImvb view(CImvb::Fit::ScaleToView);
        view.setFrameShape(QFrame::NoFrame);
        view.resize(150, 150);
        view.SetImageFile(good);
        QVERIFY(view.LoadImage());
        QCOMPARE(view.GetImageWidth(), 300);  // the picture's own size, not the view's
        QCOMPARE(view.GetImageHeight(), 200);
        QVERIFY(view.HasPicture());
        QCOMPARE(view.ShownSize(), QSize(150, 100));

        for (const std::string& bad : {broken, dir.File("missing.jpg"), dir.Path()}) {
            view.SetImageFile(bad);
            QVERIFY(!view.LoadImage());
            // The picture shown, its size and its name stay as they were.
            QCOMPARE(view.GetImageFile(), good);
            QCOMPARE(view.GetImageWidth(), 300);
            QVERIFY(view.HasPicture());
        }

        view.SetImageFile("");
        QVERIFY(view.LoadImage());
        QVERIFY(!view.HasPicture());
        QCOMPARE(view.GetImageWidth(), 0);
        QCOMPARE(view.GetImageFile(), std::string());
    }

    void nameInAnyEncodingIsFound() {
        ngtest::TempDir dir;
        std::string latin1 = dir.File("caf\xE9.jpg");  // not UTF-8
        ngtest::WriteFile(latin1, ngwin::MakeJpeg(40, 30));
        CImvb view(CImvb::Fit::ActualSize);
        view.SetImageFile(latin1);
        QVERIFY(view.LoadImage());
        QCOMPARE(view.GetImageWidth(), 40);
        QCOMPARE(ng::ui::FromBytes(ng::ThumbnailCaptionName(latin1)),
                 QString::fromUtf8("caf\xC3\xA9.jpg"));
    }

    void fullSizeWindowFitsTheScreen() {
        ngtest::TempDir dir;
        QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        struct Case {
            int width, height;
        };
        for (Case c : {Case{120, 90}, Case{100, screen.height() + 200}}) {
            std::string path = dir.File("pic&" + std::to_string(c.height) + ".jpg");
            ngtest::WriteFile(path, ngwin::MakeJpeg(c.width, c.height));
            CThumbnailDialog window(path);
            ng::FullSizeRoom expected =
                ng::FullSizeRoomFor(screen.width(), screen.height(), c.width, c.height);
            QCOMPARE(window.Room(), expected);
            QCOMPARE(window.windowTitle(), QString::fromStdString(path));
            CImvb* view = window.ImageView();
            QCOMPARE(view->GetTallMode(), expected.tallMode);
            QCOMPARE(view->pos(), QPoint(2, 1));
            QCOMPARE(view->height(), expected.height);
            QCOMPARE(window.size(), view->size() + QSize(4, 2));
            QCOMPARE(window.pos(), screen.topLeft());
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            // Only a tall picture scrolls, and only up and down: the whole
            // width and the full height of the room show the picture.
            QCOMPARE(view->verticalScrollBar()->isVisible(), expected.tallMode != 0);
            QVERIFY(!view->horizontalScrollBar()->isVisible());
            QCOMPARE(view->viewport()->height(), expected.height);
            QVERIFY(view->viewport()->width() >= c.width);
            if (expected.tallMode == 0) {
                QCOMPARE(view->width(), expected.width);
            }
        }
        QVERIFY(screen.height() - 50 < screen.height() + 200 + 3);  // the second case was tall
    }

    void fullSizeWindowOpensForAnUnreadableFile() {
        ngtest::TempDir dir;
        std::string path = dir.File("broken.jpg");
        ngtest::WriteFile(path, "garbage");
        CThumbnailDialog window(path);
        QCOMPARE(window.windowTitle(), QString::fromStdString(path));
        QCOMPARE(window.Room().width, 3);
        QCOMPARE(window.Room().height, 3);
    }
};

QTEST_MAIN(ThumbnailTest)
#include "ThumbnailTest.moc"
