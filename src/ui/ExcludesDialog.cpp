#include "ui/ExcludesDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/TextFile.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "store/DownloadLog.h"
#include "store/WorkingFiles.h"
#include "ui/DialogButtons.h"
#include "ui/UiText.h"

namespace keys = ng::keys;
namespace defaults = ng::defaults;

CExcludesDialog::CExcludesDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Newsgleaner Excludes"));

    auto* subjectBox = new QGroupBox(QStringLiteral("Subject Field"), this);
    auto* subjectLabel = new QLabel(QStringLiteral("&Subject Exclude:"), subjectBox);
    m_pSubjectExcl = new QLineEdit(subjectBox);
    m_pSubjectExcl->setObjectName(QStringLiteral("subjectExcl"));
    subjectLabel->setBuddy(m_pSubjectExcl);
    auto* subjectLayout = new QHBoxLayout(subjectBox);
    subjectLayout->addWidget(subjectLabel);
    subjectLayout->addWidget(m_pSubjectExcl, 1);

    auto* fromBox = new QGroupBox(QStringLiteral("From Field"), this);
    auto* fromLabel = new QLabel(QStringLiteral("&From Exclude:"), fromBox);
    m_pFromExclude = new QLineEdit(fromBox);
    m_pFromExclude->setObjectName(QStringLiteral("fromExclude"));
    fromLabel->setBuddy(m_pFromExclude);
    auto* add = new QPushButton(QStringLiteral("&Add"), fromBox);
    add->setObjectName(QStringLiteral("add"));
    add->setAutoDefault(false);
    auto* remove = new QPushButton(QStringLiteral("&Remove"), fromBox);
    remove->setObjectName(QStringLiteral("remove"));
    remove->setAutoDefault(false);
    m_pFromExcludes = new QListWidget(fromBox);
    m_pFromExcludes->setObjectName(QStringLiteral("fromExcludes"));
    m_pFromExcludes->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pFromExcludes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* note = new QLabel(QStringLiteral("Note:  To add an entire domain and ensure that it is "
                                           "matched properly, include the '@' character."),
                            fromBox);
    note->setWordWrap(true);
    auto* fromLayout = new QGridLayout(fromBox);
    fromLayout->addWidget(fromLabel, 0, 0);
    fromLayout->addWidget(m_pFromExclude, 0, 1);
    fromLayout->addWidget(add, 0, 2);
    fromLayout->addWidget(m_pFromExcludes, 1, 0, 2, 2);
    fromLayout->addWidget(remove, 1, 2, Qt::AlignTop);
    fromLayout->addWidget(note, 3, 0, 1, 3);

    auto* logBox = new QGroupBox(QStringLiteral("Logging"), this);
    m_pEnableLogging = new QCheckBox(QStringLiteral("&Enable Logging"), logBox);
    m_pEnableLogging->setObjectName(QStringLiteral("enableLogging"));
    m_pLogFileLabel = new QLabel(QStringLiteral("&Log File:"), logBox);
    m_pLogFile = new QLineEdit(logBox);
    m_pLogFile->setObjectName(QStringLiteral("logFile"));
    m_pLogFileLabel->setBuddy(m_pLogFile);
    m_pClearContents = new QPushButton(QStringLiteral("&Clear Contents"), logBox);
    m_pClearContents->setObjectName(QStringLiteral("clearContents"));
    m_pClearContents->setAutoDefault(false);
    auto* logLayout = new QGridLayout(logBox);
    logLayout->addWidget(m_pEnableLogging, 0, 0, 1, 3);
    logLayout->addWidget(m_pLogFileLabel, 1, 0);
    logLayout->addWidget(m_pLogFile, 1, 1);
    logLayout->addWidget(m_pClearContents, 1, 2);

    const auto buttons = ng::ui::MakeSideOkCancel(this).box;

    auto* fields = new QVBoxLayout;
    fields->addWidget(subjectBox);
    fields->addWidget(fromBox, 1);
    fields->addWidget(logBox);
    auto* top = new QHBoxLayout(this);
    top->addLayout(fields, 1);
    top->addWidget(buttons);

    connect(add, &QPushButton::clicked, this, &CExcludesDialog::OnAdd);
    connect(remove, &QPushButton::clicked, this, &CExcludesDialog::OnRemove);
    connect(m_pEnableLogging, &QCheckBox::clicked, this, &CExcludesDialog::OnEnableLogging);
    connect(m_pClearContents, &QPushButton::clicked, this, &CExcludesDialog::OnClearContents);

    OnInitDialog();
}

void CExcludesDialog::OnInitDialog() {
    const ng::SettingsStore& store = ng::Profile();
    m_pEnableLogging->setChecked(ng::Read(store, ng::setting::kEnableLogging) != 0);
    ng::ui::SetEditBytes(m_pLogFile, ng::Read(store, ng::setting::kLogFile));
    OnEnableLogging();

    std::vector<std::string> lines;
    if (ng::ReadTextLines(ng::files::kFromExcludes, lines)) {
        for (const auto& line : lines) {
            AddSorted(line);
        }
    }
    if (m_pFromExcludes->count() > 0) {
        m_pFromExcludes->setCurrentRow(0);
    }
    ng::ui::SetEditBytes(m_pSubjectExcl, ng::Read(store, ng::setting::kSubjectExcl));
}

void CExcludesDialog::AddSorted(const std::string& entry) {
    QListWidgetItem* item = ng::ui::NewListItem(entry);
    const QString text = item->text();
    // Binary search for the first entry that sorts after this one.
    int low = 0;
    int high = m_pFromExcludes->count();
    while (low < high) {
        int middle = (low + high) / 2;
        if (QString::compare(m_pFromExcludes->item(middle)->text(), text, Qt::CaseInsensitive) <=
            0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    m_pFromExcludes->insertItem(low, item);
}

std::vector<std::string> CExcludesDialog::Entries() const {
    std::vector<std::string> entries;
    entries.reserve(m_pFromExcludes->count());
    for (int i = 0; i < m_pFromExcludes->count(); ++i) {
        entries.push_back(ng::ui::ItemBytes(m_pFromExcludes->item(i)));
    }
    return entries;
}

void CExcludesDialog::OnAdd() {
    if (!m_pFromExclude->text().isEmpty()) {
        AddSorted(ng::ui::ToBytes(m_pFromExclude->text()));
    }
    m_pFromExclude->clear();
}

void CExcludesDialog::OnRemove() {
    const QList<QListWidgetItem*> selected = m_pFromExcludes->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    delete m_pFromExcludes->takeItem(m_pFromExcludes->row(selected.front()));
    // The selection does not move on to a neighbour: a second Remove does
    // nothing.
    m_pFromExcludes->setCurrentItem(nullptr);
    m_pFromExcludes->clearSelection();
}

void CExcludesDialog::OnEnableLogging() {
    bool enable = m_pEnableLogging->isChecked();
    m_pLogFileLabel->setEnabled(enable);
    m_pLogFile->setEnabled(enable);
    m_pClearContents->setEnabled(enable);
}

void CExcludesDialog::OnClearContents() {
    // The stored name, not the one typed but not yet confirmed.
    ng::ClearDownloadLog(ng::Read(ng::Profile(), ng::setting::kLogFile));
}

void CExcludesDialog::accept() {
    if (!m_pFromExclude->text().isEmpty()) {
        AddSorted(ng::ui::ToBytes(m_pFromExclude->text()));
    }
    ng::SettingsStore& store = ng::Profile();
    store.WriteProfileInt(keys::kProductSection, keys::kEnableLogging,
                          m_pEnableLogging->isChecked() ? 1 : 0);
    store.WriteProfileString(keys::kProductSection, keys::kLogFile, ng::ui::EditBytes(m_pLogFile));
    // A failure keeps the old list whole, and says nothing, as the dialog always did.
    (void)ng::ReplaceTextFile(ng::files::kFromExcludes, Entries());
    store.WriteProfileString(keys::kProductSection, keys::kSubjectExcl,
                             ng::ui::EditBytes(m_pSubjectExcl));
    QDialog::accept();
}
