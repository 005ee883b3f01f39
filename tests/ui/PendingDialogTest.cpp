// The pending files dialog: its rules without a window, then the dialog.

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <deque>
#include <string>

#include "WindowTestSupport.h"
#include "engine/PendingList.h"
#include "nntp/Overview.h"
#include "ui/PendingDialog.h"

namespace {

ng::PendingEntry Line(int number, const std::string& subject, const std::string& from = "poster",
                      const std::string& lines = "700") {
    return {*ng::ParseOverviewRecord(std::to_string(number) + "\t" + subject + "\t" + from +
                                     "\tdate\t<id>\t\t1000\t" + lines + "\r\n")};
}

QStringList ListSubjects(const QTreeWidget* list) {
    QStringList subjects;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        subjects << list->topLevelItem(i)->text(0);
    }
    return subjects;
}

}  // namespace

class PendingDialogTest : public QObject {
    Q_OBJECT

private slots:
    void dialogOpensWithCountsAndColumns() {
        ng::PendingList pending;
        {
            ng::PendingList::EditSession session(pending);
            CPendingDialog dialog(session);
            QCOMPARE(dialog.windowTitle(), QString("Newsgleaner"));
            QCOMPARE(dialog.List()->topLevelItemCount(), 0);
            QCOMPARE(dialog.PendingCount()->text(), QString("0"));
            QCOMPARE(dialog.RemovedCount()->text(), QString("0"));
            QTreeWidget* list = dialog.List();
            QCOMPARE(list->headerItem()->text(0), QString("Subject"));
            QCOMPARE(list->headerItem()->text(1), QString("From"));
            QCOMPARE(list->headerItem()->text(2), QString("Lines"));
            QCOMPARE(list->columnWidth(0), 390);
            QCOMPARE(list->columnWidth(1), 160);
            QCOMPARE(list->columnWidth(2), 50);
            QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
            QCOMPARE(dialog.RemoveButton()->text(), QString("&Remove"));
        }
        pending.Append(Line(1, "x"));
        {
            ng::PendingList::EditSession session(pending);
            session.Edited() = true;
            session.Removed() = 3;  // an earlier opening's removals
            CPendingDialog dialog(session);
            QCOMPARE(dialog.PendingCount()->text(), QString("1"));
            QCOMPARE(dialog.RemovedCount()->text(), QString("0"));  // "0" at opening
        }
    }

    void tabOrderIsListRemoveOkCancel() {
        ng::PendingList pending;
        ng::PendingList::EditSession session(pending);
        CPendingDialog dialog(session);
        QCOMPARE(ngwin::TabOrder(dialog), QStringList({"pendingList", "&Remove", "OK", "Cancel"}));
    }

    void deleteKeyRemovesSelectedRowsAndOkKeepsIt() {
        ng::PendingList pending;
        for (const char* subject : {"e", "d", "c", "b", "a"}) {
            pending.Append(Line(1, subject));
        }
        {
            ng::PendingList::EditSession session(pending);
            CPendingDialog dialog(session);
            dialog.show();
            QTreeWidget* list = dialog.List();
            for (int row : {0, 2, 4}) {
                list->topLevelItem(row)->setSelected(true);
            }
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Delete);
            QCOMPARE(ListSubjects(list), (QStringList{"d", "b"}));
            QCOMPARE(dialog.PendingCount()->text(), QString("2"));
            QCOMPARE(dialog.RemovedCount()->text(), QString("3"));
            // A heading click sorts by subject, whichever column it is.
            dialog.List()->header()->sectionClicked(2);
            QCOMPARE(ListSubjects(list), (QStringList{"b", "d"}));
            dialog.accept();
            QCOMPARE(session.Removed(), 3);
            QVERIFY(session.Edited());
        }
        QCOMPARE(pending.Size(), size_t(2));
        QCOMPARE(pending.TakeRemovals(), std::optional<int>(3));
        QVERIFY(pending.TakeHead()->front().subject == "b");
    }

    void cancelThroughTheDialogUndoesEverything() {
        ng::PendingList pending;
        for (const char* subject : {"c", "a", "b"}) {
            pending.Append(Line(1, subject));
        }
        {
            ng::PendingList::EditSession session(pending);
            CPendingDialog dialog(session);
            ngwin::ModalAnswer answer([](QWidget* modal) {
                auto* d = qobject_cast<CPendingDialog*>(modal);
                if (!d) {
                    return false;
                }
                d->SortBySubject();
                d->List()->topLevelItem(0)->setSelected(true);
                d->RemoveButton()->click();
                if (d->RemovedCount()->text() != "1") {
                    return false;
                }
                QTest::keyClick(d, Qt::Key_Escape);  // Escape is Cancel
                return true;
            });
            QCOMPARE(dialog.exec(), int(QDialog::Rejected));
            QVERIFY(answer.Answered());
        }
        QCOMPARE(pending.Size(), size_t(3));
        QCOMPARE(pending.TakeRemovals(), std::optional<int>());  // nothing to take into account
        std::string order;
        while (auto line = pending.TakeHead()) {
            order += line->front().subject;
        }
        QCOMPARE(order, std::string("cab"));
    }
};

QTEST_MAIN(PendingDialogTest)
#include "PendingDialogTest.moc"
