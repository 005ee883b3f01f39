// The pending files dialog: its rules without a window, then the dialog.

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <deque>
#include <string>

#include "WindowTestSupport.h"
#include "engine/Overview.h"
#include "engine/PendingList.h"
#include "ui/PendingDialog.h"
#include "ui/PendingEditor.h"

namespace {

std::string Line(int number, const std::string& subject, const std::string& from = "poster",
                 const std::string& lines = "700") {
    return std::to_string(number) + "\t" + subject + "\t" + from + "\tdate\t<id>\t\t1000\t" +
           lines + "\r\n";
}

std::vector<std::string> Subjects(const ng::PendingEditor& editor) {
    std::vector<std::string> subjects;
    for (const auto& row : editor.Rows()) {
        subjects.push_back(row.subject);
    }
    return subjects;
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
    void rowsShowSubjectSenderAndLines() {
        std::deque<std::string> lines = {Line(1, "a & b.jpg", "Tom & Jerry", "812"),
                                         "2\tonly subject", Line(3, "x", "y", "12abc")};
        bool edited = false;
        int removed = 0;
        ng::PendingEditor editor(lines, edited, removed);
        auto rows = editor.Rows();
        QCOMPARE(rows.size(), size_t(3));
        QCOMPARE(rows[0].subject, std::string("a & b.jpg"));
        QCOMPARE(rows[0].from, std::string("Tom & Jerry"));
        QCOMPARE(rows[0].lines, 812);
        QCOMPARE(rows[1].from, std::string());
        QCOMPARE(rows[1].lines, 0);
        QCOMPARE(rows[2].lines, 12);  // leading digits
    }

    void removeCountsAndMarks() {
        std::deque<std::string> lines;
        for (int i = 1; i <= 6; ++i) {
            lines.push_back(Line(i, "s" + std::to_string(i)));
        }
        bool edited = true;  // removals of an earlier opening not yet taken
        int removed = 2;
        ng::PendingEditor editor(lines, edited, removed);
        QCOMPARE(editor.Remove({4, 0, 2, 2, 99}), 3);
        QCOMPARE(lines.size(), size_t(3));
        QCOMPARE(Subjects(editor), (std::vector<std::string>{"s2", "s4", "s6"}));
        QCOMPARE(removed, 5);
        QCOMPARE(editor.Remove({}), 0);  // nothing selected still marks the list
        QVERIFY(edited);

        bool edited2 = false;
        int removed2 = 0;
        std::deque<std::string> none;
        ng::PendingEditor empty(none, edited2, removed2);
        QCOMPARE(empty.Remove({}), 0);
        QVERIFY(edited2);
        QCOMPARE(removed2, 0);
    }

    void sortIsByteOrderAndStable() {
        std::deque<std::string> lines = {Line(1, "b"),    Line(2, "a", "first"),  Line(3, "B"),
                                         Line(4, "\xE9"), Line(5, "a", "second"), Line(6, "A")};
        bool edited = false;
        int removed = 0;
        ng::PendingEditor editor(lines, edited, removed);
        editor.SortBySubject();
        // Upper case before lower case, bytes above 127 last; equal subjects keep their order.
        QCOMPARE(Subjects(editor), (std::vector<std::string>{"A", "B", "a", "a", "b", "\xE9"}));
        QCOMPARE(editor.Rows()[2].from, std::string("first"));
        QCOMPARE(editor.Rows()[3].from, std::string("second"));
        QVERIFY(!edited);  // sorting alone is no removal

        std::deque<std::string> one = {Line(1, "z")};
        ng::PendingEditor single(one, edited, removed);
        single.SortBySubject();
        QCOMPARE(one.size(), size_t(1));
    }

    void cancelRestoresListAndMarks() {
        std::deque<std::string> lines = {Line(1, "c"), Line(2, "a"), Line(3, "b")};
        const std::deque<std::string> before = lines;
        {
            bool edited = false;
            int removed = 0;
            ng::PendingEditor editor(lines, edited, removed);
            editor.SortBySubject();
            editor.Remove({0});
            editor.Cancel();
            QCOMPARE(lines, before);  // each entry once, in the old order
            QVERIFY(!edited);
            QCOMPARE(removed, 0);
        }
        {
            // Removals of an earlier opening still pending: Cancel keeps those
            // and drops only its own.
            bool edited = true;
            int removed = 4;
            ng::PendingEditor editor(lines, edited, removed);
            editor.Remove({1, 2});
            QCOMPARE(removed, 6);
            editor.Cancel();
            QCOMPARE(lines, before);
            QVERIFY(edited);
            QCOMPARE(removed, 4);
        }
    }

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
        QVERIFY(ng::ParseOverviewLine(*pending.TakeHead()).subject == "b");
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
            order += ng::ParseOverviewLine(*line).subject;
        }
        QCOMPARE(order, std::string("cab"));
    }
};

QTEST_MAIN(PendingDialogTest)
#include "PendingDialogTest.moc"
