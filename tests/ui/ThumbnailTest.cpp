// The thumbnail's rules, the picture view, and the full-size window.

#include <QScreen>
#include <QTest>
#include <string>

#include "WindowTestSupport.h"
#include "support/TestSupport.h"
#include "ui/Imvb.h"
#include "ui/ThumbnailDialog.h"
#include "ui/ThumbnailRules.h"
#include "ui/UiText.h"

class ThumbnailTest : public QObject {
    Q_OBJECT

private slots:
    void onlyJpegPathsAreShown() {
        QVERIFY(ng::ThumbnailTakes(""));
        QVERIFY(ng::ThumbnailTakes("/pics/cat.jpg"));
        QVERIFY(ng::ThumbnailTakes("/pics/cat.jpg.part"));  // anywhere in the path
        QVERIFY(ng::ThumbnailTakes("/x.jpgs/cat"));
        QVERIFY(!ng::ThumbnailTakes("/pics/cat.gif"));
        QVERIFY(!ng::ThumbnailTakes("/pics/cat.JPG"));  // exact case
        QVERIFY(!ng::ThumbnailTakes("/pics/cat.jpeg"));
    }

    void captionIsTheNameAfterTheLastSlash() {
        QCOMPARE(ng::ThumbnailCaptionName("/pics/a/cat&dog.jpg"), std::string("cat&dog.jpg"));
        QCOMPARE(ng::ThumbnailCaptionName("cat.jpg"), std::string("cat.jpg"));
        QCOMPARE(ng::ThumbnailCaptionName("/pics/"), std::string());
        QCOMPARE(ng::ThumbnailCaptionName(""), std::string());
    }

    void fullSizeRoom() {
        // Fits: the picture and 3 pixels, not tall.
        QCOMPARE(ng::FullSizeRoomFor(1024, 768, 640, 480), (ng::FullSizeRoom{643, 483, 0}));
        // Taller than the screen allows: cut to the screen less 50, tall.
        QCOMPARE(ng::FullSizeRoomFor(1024, 768, 800, 1200), (ng::FullSizeRoom{803, 718, 1}));
        // Wider than the screen: cut across, still not tall.
        QCOMPARE(ng::FullSizeRoomFor(1024, 768, 3000, 100), (ng::FullSizeRoom{1014, 103, 0}));
        // Exactly at the edge: room equals the picture and 3, not tall.
        QCOMPARE(ng::FullSizeRoomFor(1024, 768, 100, 715), (ng::FullSizeRoom{103, 718, 0}));
        QCOMPARE(ng::FullSizeRoomFor(1024, 768, 100, 716), (ng::FullSizeRoom{103, 718, 1}));
        // Nothing loaded.
        QCOMPARE(ng::FullSizeRoomFor(1024, 768, 0, 0), (ng::FullSizeRoom{3, 3, 0}));
    }

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
