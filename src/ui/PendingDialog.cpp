#include "ui/PendingDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/TabOrder.h"
#include "ui/UiText.h"

namespace {

// The wait cursor for the life of the object.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QLabel* SunkenCount(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(100);
    return label;
}

}  // namespace

CPendingDialog::CPendingDialog(ng::PendingList::EditSession& session, QWidget* parent)
    : QDialog(parent), m_editor(session.Entries(), session.Edited(), session.Removed()) {
    setWindowTitle(QStringLiteral("Newsgleaner"));
    setObjectName(QStringLiteral("pendingDialog"));

    auto* hint = new QLabel(QStringLiteral("Select unwanted files and press 'Remove'"), this);
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(QStringLiteral("pendingList"));
    m_pList->setColumnCount(3);
    m_pList->setHeaderLabels(
        {QStringLiteral("Subject"), QStringLiteral("From"), QStringLiteral("Lines")});
    m_pList->setColumnWidth(0, 390);
    m_pList->setColumnWidth(1, 160);
    m_pList->setColumnWidth(2, 50);
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setSortingEnabled(false);
    m_pList->header()->setSectionsClickable(true);
    m_pList->header()->setStretchLastSection(false);
    m_pList->setMinimumSize(620, 330);
    m_pList->installEventFilter(this);
    // Any heading sorts by subject: there is no other order.
    connect(m_pList->header(), &QHeaderView::sectionClicked, this, &CPendingDialog::SortBySubject);

    m_pPendingCount = SunkenCount(this);
    m_pPendingCount->setObjectName(QStringLiteral("pendingCount"));
    m_pRemovedCount = SunkenCount(this);
    m_pRemovedCount->setObjectName(QStringLiteral("removedCount"));
    auto* counts = new QHBoxLayout;
    auto* pendingLabel = new QLabel(QStringLiteral("Pending:"), this);
    pendingLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* removedLabel = new QLabel(QStringLiteral("Removed:"), this);
    removedLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    counts->addStretch(1);
    counts->addWidget(pendingLabel);
    counts->addWidget(m_pPendingCount);
    counts->addSpacing(24);
    counts->addWidget(removedLabel);
    counts->addWidget(m_pRemovedCount);
    counts->addStretch(2);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setAutoDefault(false);
    m_pRemove = new QPushButton(QStringLiteral("&Remove"), this);
    m_pRemove->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &CPendingDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CPendingDialog::reject);
    connect(m_pRemove, &QPushButton::clicked, this, &CPendingDialog::OnRemove);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addSpacing(12);
    buttons->addWidget(m_pRemove);
    buttons->addStretch(1);

    auto* grid = new QGridLayout(this);
    grid->addWidget(hint, 0, 0);
    grid->addWidget(m_pList, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->addLayout(counts, 2, 0);

    ng::ui::ChainTabOrder({m_pList, m_pRemove, ok, cancel});

    m_pPendingCount->setText(QString::number(m_editor.Count()));
    m_pRemovedCount->setText(QStringLiteral("0"));
    FillList();
}

void CPendingDialog::FillList() {
    m_pList->clear();
    QList<QTreeWidgetItem*> items;
    for (const ng::PendingRow& row : m_editor.Rows()) {
        items.append(
            new QTreeWidgetItem({ng::ui::FromBytes(row.subject), ng::ui::FromBytes(row.from),
                                 QString::number(row.lines)}));
    }
    m_pList->addTopLevelItems(items);
}

void CPendingDialog::OnRemove() {
    WaitCursor wait;
    std::vector<size_t> rows;
    for (const QModelIndex& index : m_pList->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<size_t>(index.row()));
    }
    if (!rows.empty()) {
        m_editor.Remove(rows);
        FillList();
    } else {
        m_editor.Remove({});  // still marks the list as edited
    }
    m_pPendingCount->setText(QString::number(m_editor.Count()));
    m_pRemovedCount->setText(QString::number(m_editor.Removed()));
}

void CPendingDialog::SortBySubject() {
    WaitCursor wait;
    m_editor.SortBySubject();
    FillList();
}

void CPendingDialog::accept() {
    m_pList->clear();
    QDialog::accept();
}

void CPendingDialog::reject() {
    m_editor.Cancel();
    m_pList->clear();
    QDialog::reject();
}

bool CPendingDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pList && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        OnRemove();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
