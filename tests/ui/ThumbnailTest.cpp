// The thumbnail's rules, the picture view, and the full-size window.

#include <QScreen>
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
            QCOMPARE(window.ImageView()->GetTallMode(), expected.tallMode);
            QCOMPARE(window.ImageView()->geometry(), QRect(2, 1, expected.width, expected.height));
            QCOMPARE(window.size(), QSize(expected.width + 4, expected.height + 2));
            QCOMPARE(window.pos(), screen.topLeft());
            QCOMPARE(window.ImageView()->verticalScrollBarPolicy(),
                     expected.tallMode ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
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
