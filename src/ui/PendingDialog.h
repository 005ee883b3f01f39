#pragma once
// The pending files dialog: the articles of the current group still waiting
// to be retrieved, which the user may thin out or sort by subject. It holds
// the pending list's edit session for its whole run, so the worker waits.

#include <QDialog>

#include "engine/PendingEditor.h"
#include "engine/PendingList.h"

class QLabel;
class QPushButton;
class QTreeWidget;

class CPendingDialog : public QDialog {
    Q_OBJECT

public:
    CPendingDialog(ng::PendingList::EditSession& session, QWidget* parent = nullptr);

    QTreeWidget* List() const { return m_pList; }
    QPushButton* RemoveButton() const { return m_pRemove; }
    QLabel* PendingCount() const { return m_pPendingCount; }
    QLabel* RemovedCount() const { return m_pRemovedCount; }

public slots:
    void OnRemove();
    void SortBySubject();
    void accept() override;
    void reject() override;  // Cancel, Escape and the close box: undo everything

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillList();

    ng::PendingEditor m_editor;
    QTreeWidget* m_pList;
    QPushButton* m_pRemove;
    QLabel* m_pPendingCount;
    QLabel* m_pRemovedCount;
};
