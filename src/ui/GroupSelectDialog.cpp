#include "ui/GroupSelectDialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "store/GroupFiles.h"
#include "ui/AllGroupsList.h"
#include "ui/GroupCategoriesBox.h"
#include "ui/MessageBoxes.h"
#include "ui/UiText.h"

namespace keys = ng::keys;
namespace defaults = ng::defaults;

namespace {

QPushButton* NewButton(const char* caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CGroupSelectDialog::CGroupSelectDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Newsgleaner Group Select"));

    // All Groups, the filter and the refresh.
    auto* allLabel = new QLabel(QStringLiteral("A&ll Groups:"), this);
    m_pAllGroups = new CAllGroupsList(this);
    m_pAllGroups->setObjectName(QStringLiteral("allGroups"));
    allLabel->setBuddy(m_pAllGroups);
    auto* filterLabel = new QLabel(QStringLiteral("&Group Filter:"), this);
    filterLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pGroupFilter = new QLineEdit(this);
    m_pGroupFilter->setObjectName(QStringLiteral("groupFilter"));
    filterLabel->setBuddy(m_pGroupFilter);
    m_pRefresh = NewButton("&Refresh", "refresh", this);
    m_pStop = NewButton("&Stop", "stop", this);
    m_pStop->setEnabled(false);
    auto* left = new QVBoxLayout;
    left->addWidget(allLabel);
    left->addWidget(m_pAllGroups, 1);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(m_pGroupFilter, 1);
    left->addLayout(filterRow);
    auto* refreshRow = new QHBoxLayout;
    refreshRow->addStretch(1);
    refreshRow->addWidget(m_pRefresh);
    refreshRow->addWidget(m_pStop);
    refreshRow->addStretch(1);
    left->addLayout(refreshRow);

    // The move buttons.
    m_pAddGroup = NewButton("&>>", "addGroup", this);
    m_pRemoveGroup = NewButton("&<<", "removeGroup", this);
    for (QPushButton* button : {m_pAddGroup, m_pRemoveGroup}) {
        button->setMaximumWidth(40);
    }
    auto* middle = new QVBoxLayout;
    middle->addSpacing(30);
    middle->addWidget(m_pAddGroup);
    middle->addWidget(m_pRemoveGroup);
    middle->addStretch(1);

    // Active Groups, the categories and the directories.
    auto* activeLabel = new QLabel(QStringLiteral("A&ctive Groups: (Drag to arrange)"), this);
    m_activeGroups = new QListWidget(this);
    m_activeGroups->setObjectName(QStringLiteral("activeGroups"));
    m_activeGroups->setSelectionMode(QAbstractItemView::SingleSelection);
    m_activeGroups->setDragDropMode(QAbstractItemView::InternalMove);
    m_activeGroups->setDefaultDropAction(Qt::MoveAction);
    m_activeGroups->setDropIndicatorShown(true);
    activeLabel->setBuddy(m_activeGroups);

    m_pCategories = new CGroupCategoriesBox([this] { return ActiveGroups(); }, this);

    auto* directoryBox = new QGroupBox(QStringLiteral("D&ownload Directories"), this);
    m_pEnableDirectories =
        new QCheckBox(QStringLiteral("&Enable Separate Directories"), directoryBox);
    m_pEnableDirectories->setObjectName(QStringLiteral("enableDirectories"));
    m_pDirectory = new QLineEdit(directoryBox);
    m_pDirectory->setObjectName(QStringLiteral("directory"));
    m_pDirectory->setEnabled(false);
    m_pDirectoryUpdate = NewButton("U&pdate", "directoryUpdate", directoryBox);
    m_pDirectoryUpdate->setEnabled(false);
    m_pBaseDir = new QLabel(directoryBox);
    m_pBaseDir->setObjectName(QStringLiteral("baseDir"));
    m_pBaseDir->setTextFormat(Qt::PlainText);
    auto* directoryLayout = new QGridLayout(directoryBox);
    directoryLayout->addWidget(m_pEnableDirectories, 0, 0, 1, 2);
    directoryLayout->addWidget(m_pDirectory, 1, 0);
    directoryLayout->addWidget(m_pDirectoryUpdate, 1, 1);
    auto* baseRow = new QHBoxLayout;
    baseRow->addWidget(new QLabel(QStringLiteral("Base Dir:"), directoryBox));
    baseRow->addWidget(m_pBaseDir, 1);
    directoryLayout->addLayout(baseRow, 2, 0, 1, 2);

    auto* right = new QVBoxLayout;
    right->addWidget(activeLabel);
    right->addWidget(m_activeGroups, 1);
    right->addWidget(m_pCategories);
    right->addWidget(directoryBox);

    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pOk->setObjectName(QStringLiteral("ok"));
    m_pOk->setDefault(true);
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pCancel->setObjectName(QStringLiteral("cancel"));
    m_pCancel->setAutoDefault(false);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pCancel);
    buttons->addStretch(1);

    m_pStatus = new QLabel(QStringLiteral("  Ready..."), this);
    m_pStatus->setObjectName(QStringLiteral("status"));
    m_pStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pStatus->setTextFormat(Qt::PlainText);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(middle);
    columns->addLayout(right, 1);
    columns->addLayout(buttons);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columns, 1);
    top->addWidget(m_pStatus);
    resize(760, 560);
    // The filter field sits under All Groups but comes last, after Cancel.
    QWidget::setTabOrder(m_pCancel, m_pGroupFilter);

    m_pGroupListRefresh = std::make_unique<CGroupListRefreshQt>(*m_pAllGroups, m_pStatus);

    connect(m_pAddGroup, &QPushButton::clicked, this, &CGroupSelectDialog::OnAddGroup);
    connect(m_pRemoveGroup, &QPushButton::clicked, this, &CGroupSelectDialog::OnRemoveGroup);
    connect(m_pAllGroups, &QListWidget::itemDoubleClicked, this, &CGroupSelectDialog::OnAddGroup);
    connect(m_activeGroups, &QListWidget::itemDoubleClicked, this,
            &CGroupSelectDialog::OnRemoveGroup);
    connect(m_activeGroups, &QListWidget::itemSelectionChanged, this,
            &CGroupSelectDialog::OnActiveSelChange);
    connect(m_pRefresh, &QPushButton::clicked, this, &CGroupSelectDialog::OnRefresh);
    connect(m_pStop, &QPushButton::clicked, m_pGroupListRefresh.get(), &CGroupListRefreshQt::Stop);
    connect(m_pGroupListRefresh.get(), &CGroupListRefreshQt::finished, this,
            [this] { SetIdle(true); });
    connect(m_pEnableDirectories, &QCheckBox::clicked, this,
            &CGroupSelectDialog::OnEnableDirectories);
    connect(m_pDirectoryUpdate, &QPushButton::clicked, this,
            &CGroupSelectDialog::OnDirectoryUpdate);
    connect(m_pCategories, &CGroupCategoriesBox::applied, this,
            &CGroupSelectDialog::SetActiveGroups);
    connect(m_pOk, &QPushButton::clicked, this, &CGroupSelectDialog::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &CGroupSelectDialog::reject);

    OnInitDialog();
}

CGroupSelectDialog::~CGroupSelectDialog() {
    // The lists' models signal while the widgets go, after this dialog's own
    // part has gone.
    disconnect(m_activeGroups, nullptr, this, nullptr);
    disconnect(m_pAllGroups, nullptr, this, nullptr);
}

void CGroupSelectDialog::OnInitDialog() {
    const ng::SettingsStore& store = ng::Profile();
    ng::ui::SetEditBytes(m_pGroupFilter, ng::Read(store, ng::setting::kGroupIncl));
    m_strHost = ng::Read(store, ng::setting::kNNTPHost);
    if (m_strHost.empty()) {
        return;  // nothing to show until a host is set up
    }
    m_pBaseDir->setText(ng::ui::FromBytes(ng::Read(store, ng::setting::kDownloadDirectory)));

    std::vector<std::string> lines;
    if (ng::ReadActiveGroups(m_strHost, lines)) {
        for (const auto& line : lines) {
            m_activeGroups->addItem(ng::ui::NewListItem(line));
        }
    }
    if (ng::ReadAllGroups(m_strHost, lines)) {
        m_pAllGroups->SetNames(std::move(lines));
    }
    m_pCategories->Load(m_strHost);

    bool enable = ng::Read(store, ng::setting::kDownloadDirsEnable) != 0;
    m_pEnableDirectories->setChecked(enable);
    m_pDirectory->setEnabled(enable);
    m_pDirectoryUpdate->setEnabled(enable);

    SelectActiveRow(0);
    m_pAllGroups->SelectFirst();
    ShowGroupDirectory();
}

const ng::GroupCategories& CGroupSelectDialog::Categories() const {
    return m_pCategories->Categories();
}

std::vector<std::string> CGroupSelectDialog::AllGroups() {
    return m_pAllGroups->Names();
}

// ---- Active Groups ----

std::vector<std::string> CGroupSelectDialog::ActiveGroups() const {
    std::vector<std::string> groups;
    groups.reserve(m_activeGroups->count());
    for (int i = 0; i < m_activeGroups->count(); ++i) {
        groups.push_back(ng::ui::ItemBytes(m_activeGroups->item(i)));
    }
    return groups;
}

void CGroupSelectDialog::SetActiveGroups(const std::vector<std::string>& groups) {
    m_activeGroups->clear();
    for (const auto& group : groups) {
        m_activeGroups->addItem(ng::ui::NewListItem(group));
    }
    UpdateMoveButtons();
    SelectActiveRow(0);
}

int CGroupSelectDialog::SelectedActiveRow() const {
    const QList<QListWidgetItem*> selected = m_activeGroups->selectedItems();
    return selected.isEmpty() ? -1 : m_activeGroups->row(selected.front());
}

void CGroupSelectDialog::SelectActiveRow(int row) {
    ++m_nSelectingByProgram;
    if (row >= 0 && row < m_activeGroups->count()) {
        m_activeGroups->setCurrentRow(row);
    } else {
        m_activeGroups->setCurrentItem(nullptr);
        m_activeGroups->clearSelection();
    }
    --m_nSelectingByProgram;
}

void CGroupSelectDialog::UpdateMoveButtons() {
    m_pAddGroup->setEnabled(m_pAllGroups->HasNames());
    m_pRemoveGroup->setEnabled(m_activeGroups->count() > 0);
}

void CGroupSelectDialog::OnAddGroup() {
    std::optional<std::string> name = m_pAllGroups->SelectedName();
    if (!name) {
        return;
    }
    bool present = false;
    for (int i = 0; i < m_activeGroups->count() && !present; ++i) {
        present = ng::ui::ItemBytes(m_activeGroups->item(i)) == *name;
    }
    if (!present) {
        m_activeGroups->addItem(ng::ui::NewListItem(*name));
    }
    SelectActiveRow(0);
    UpdateMoveButtons();
}

void CGroupSelectDialog::OnRemoveGroup() {
    int row = SelectedActiveRow();
    if (row < 0) {
        return;
    }
    std::string name = ng::ui::ItemBytes(m_activeGroups->item(row));
    ++m_nSelectingByProgram;
    delete m_activeGroups->takeItem(row);
    --m_nSelectingByProgram;

    m_pAllGroups->AddName(name);
    SelectActiveRow(std::min(row, m_activeGroups->count() - 1));
    m_pAllGroups->SelectFirst();
    UpdateMoveButtons();
}

// ---- The download directories ----

void CGroupSelectDialog::OnActiveSelChange() {
    if (m_nSelectingByProgram == 0) {
        ShowGroupDirectory();
    }
}

void CGroupSelectDialog::ShowGroupDirectory() {
    int row = SelectedActiveRow();
    if (row < 0) {
        return;
    }
    ng::ui::SetEditBytes(m_pDirectory, ng::Profile().GetProfileString(
                                           keys::kDownloadDirsSection,
                                           ng::ui::ItemBytes(m_activeGroups->item(row)), ""));
}

void CGroupSelectDialog::OnDirectoryUpdate() {
    int row = SelectedActiveRow();
    if (row < 0) {
        return;
    }
    ng::Profile().WriteProfileString(keys::kDownloadDirsSection,
                                     ng::ui::ItemBytes(m_activeGroups->item(row)),
                                     ng::ui::EditBytes(m_pDirectory));
}

void CGroupSelectDialog::OnEnableDirectories() {
    bool enable = m_pEnableDirectories->isChecked();
    m_pDirectory->setEnabled(enable);
    m_pDirectoryUpdate->setEnabled(enable);
    ng::Profile().WriteProfileInt(keys::kDownloadDirsSection, keys::kEnable, enable ? 1 : 0);
}

// ---- The refresh, OK and Cancel ----

void CGroupSelectDialog::SetIdle(bool idle) {
    m_pOk->setEnabled(idle);
    m_pCancel->setEnabled(idle);
    m_pRefresh->setEnabled(idle);
    m_pStop->setEnabled(!idle);
}

void CGroupSelectDialog::OnRefresh() {
    if (Refreshing()) {
        return;
    }
    if (ng::Read(ng::Profile(), ng::setting::kNNTPHost).empty()) {
        ng::ui::Tell(this, QStringLiteral("No news host specified in Setup"), QMessageBox::Warning);
        return;
    }
    SetIdle(false);
    if (!m_pGroupListRefresh->Start(ng::ui::EditBytes(m_pGroupFilter))) {
        SetIdle(true);
    }
}

void CGroupSelectDialog::accept() {
    if (Refreshing()) {
        return;
    }
    ng::SettingsStore& store = ng::Profile();
    store.WriteProfileString(keys::kProductSection, keys::kGroupIncl,
                             ng::ui::EditBytes(m_pGroupFilter));
    if (!ng::WriteActiveGroups(m_strHost, ActiveGroups())) {
        m_pStatus->setText(QStringLiteral("  Unable to create GroupList"));
        return;
    }
    if (!ng::WriteAllGroups(m_strHost, m_pAllGroups->Names())) {
        m_pStatus->setText(QStringLiteral("  Unable to create AllGroups"));
        return;
    }
    m_pCategories->Save(m_strHost);
    QDialog::accept();
}

void CGroupSelectDialog::reject() {
    // The refresh hands its names to this dialog: it must not close while
    // they come.
    if (Refreshing()) {
        return;
    }
    QDialog::reject();
}

void RunGroupSelectDialog(QWidget* parent) {
    CGroupSelectDialog dialog(parent);
    dialog.exec();
}
