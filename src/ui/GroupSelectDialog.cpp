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

#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "store/GroupFiles.h"
#include "ui/CloseUpComboBox.h"
#include "ui/MessageBoxes.h"
#include "ui/QtPasswordPrompt.h"
#include "ui/UiText.h"

namespace keys = ng::keys;
namespace defaults = ng::defaults;

namespace {

// Names from a refresh reach All Groups at most this long after the dialog
// took them: inserting them in one go keeps a long list fast.
constexpr int kFlushDelayMs = 200;
// Up to this many names go in one by one; more rebuild the list in one pass.
constexpr size_t kSingleInsertLimit = 32;

unsigned char FoldAscii(char c) {
    auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

QPushButton* NewButton(const char* caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QStringList Labels(std::vector<std::string>::const_iterator first,
                   std::vector<std::string>::const_iterator last) {
    QStringList labels;
    labels.reserve(static_cast<qsizetype>(last - first));
    for (auto it = first; it != last; ++it) {
        labels << ng::ui::FromBytes(*it);
    }
    return labels;
}

// Rows made from labels get their bytes where the label cannot carry them.
void KeepBytesOfRows(QListWidget* list, int firstRow,
                     std::vector<std::string>::const_iterator first,
                     std::vector<std::string>::const_iterator last) {
    int row = firstRow;
    for (auto it = first; it != last; ++it, ++row) {
        ng::ui::KeepBytes(list->item(row), *it);
    }
}

}  // namespace

bool CGroupSelectDialog::SortsBefore(const std::string& a, const std::string& b) {
    size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        unsigned char ca = FoldAscii(a[i]);
        unsigned char cb = FoldAscii(b[i]);
        if (ca != cb) {
            return ca < cb;
        }
    }
    return a.size() < b.size();
}

CGroupSelectDialog::CGroupSelectDialog(QWidget* parent)
    : QDialog(parent), m_sink(this, "OnRefreshUpdates") {
    setWindowTitle(QStringLiteral("Newsgleaner Group Select"));

    // All Groups, the filter and the refresh.
    auto* allLabel = new QLabel(QStringLiteral("A&ll Groups:"), this);
    m_pAllGroups = new QListWidget(this);
    m_pAllGroups->setObjectName(QStringLiteral("allGroups"));
    m_pAllGroups->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pAllGroups->setUniformItemSizes(true);  // long lists lay out fast
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

    auto* categoryBox = new QGroupBox(QStringLiteral("&Group Categories"), this);
    m_pCategory = new CCloseUpComboBox(categoryBox);
    m_pCategory->setObjectName(QStringLiteral("category"));
    m_pCategory->setEditable(true);
    // Names join the list only through Add; typing completes nothing.
    m_pCategory->setInsertPolicy(QComboBox::NoInsert);
    m_pCategory->setCompleter(nullptr);
    m_pCategoryAdd = NewButton("&Add", "categoryAdd", categoryBox);
    m_pCategoryUpdate = NewButton("&Update", "categoryUpdate", categoryBox);
    m_pCategoryDelete = NewButton("&Delete", "categoryDelete", categoryBox);
    auto* categoryLayout = new QVBoxLayout(categoryBox);
    categoryLayout->addWidget(m_pCategory);
    auto* categoryButtons = new QHBoxLayout;
    categoryButtons->addWidget(m_pCategoryAdd);
    categoryButtons->addWidget(m_pCategoryUpdate);
    categoryButtons->addWidget(m_pCategoryDelete);
    categoryLayout->addLayout(categoryButtons);

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
    right->addWidget(categoryBox);
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

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushDelayMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &CGroupSelectDialog::FlushPendingNames);

    connect(m_pAddGroup, &QPushButton::clicked, this, &CGroupSelectDialog::OnAddGroup);
    connect(m_pRemoveGroup, &QPushButton::clicked, this, &CGroupSelectDialog::OnRemoveGroup);
    connect(m_pAllGroups, &QListWidget::itemDoubleClicked, this, &CGroupSelectDialog::OnAddGroup);
    connect(m_activeGroups, &QListWidget::itemDoubleClicked, this,
            &CGroupSelectDialog::OnRemoveGroup);
    connect(m_pStop, &QPushButton::clicked, this, &CGroupSelectDialog::OnStop);
    connect(m_pRefresh, &QPushButton::clicked, this, &CGroupSelectDialog::OnRefresh);
    connect(m_pEnableDirectories, &QCheckBox::clicked, this,
            &CGroupSelectDialog::OnEnableDirectories);
    connect(m_pCategory, &CCloseUpComboBox::closedUp, this, &CGroupSelectDialog::OnCategoryCloseUp);
    connect(m_pCategoryAdd, &QPushButton::clicked, this, &CGroupSelectDialog::OnCategoryAdd);
    connect(m_pCategoryDelete, &QPushButton::clicked, this, &CGroupSelectDialog::OnCategoryDelete);
    connect(m_pDirectoryUpdate, &QPushButton::clicked, this,
            &CGroupSelectDialog::OnDirectoryUpdate);
    connect(m_activeGroups, &QListWidget::itemSelectionChanged, this,
            &CGroupSelectDialog::OnActiveSelChange);
    connect(m_pCategoryUpdate, &QPushButton::clicked, this, &CGroupSelectDialog::OnCategoryUpdate);
    connect(m_pOk, &QPushButton::clicked, this, &CGroupSelectDialog::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &CGroupSelectDialog::reject);

    m_pPrompt = new QtPasswordPrompt(this);
    m_pRefreshThread = std::make_unique<ng::CGroupListRefresh>(ng::Profile(), m_sink, m_pPrompt);

    OnInitDialog();
}

CGroupSelectDialog::~CGroupSelectDialog() {
    // The refresh thread delivers to this dialog and may be asking for a
    // password through its prompt: end it before either goes.
    m_pRefreshThread->Stop();
    m_pRefreshThread->Join();
    disconnect(m_activeGroups, nullptr, this, nullptr);
    disconnect(m_pAllGroups, nullptr, this, nullptr);
    disconnect(m_pCategory, nullptr, this, nullptr);
}

void CGroupSelectDialog::OnInitDialog() {
    const ng::SettingsStore& store = ng::Profile();
    ng::ui::SetEditBytes(
        m_pGroupFilter,
        store.GetProfileString(keys::kProductSection, keys::kGroupIncl, defaults::kGroupIncl));
    m_strHost = store.GetProfileString(keys::kProductSection, keys::kNNTPHost, "");
    if (m_strHost.empty()) {
        return;  // nothing to show until a host is set up
    }
    m_pBaseDir->setText(ng::ui::FromBytes(store.GetProfileString(
        keys::kProductSection, keys::kDownloadDirectory, defaults::kWorkerDownloadDirectory)));
    m_strGroupsFile = ng::ActiveGroupsFileName(m_strHost);
    m_strAllGroupsFile = ng::AllGroupsFileName(m_strHost);

    std::vector<std::string> lines;
    if (ng::ReadActiveGroups(m_strHost, lines)) {
        for (const auto& line : lines) {
            m_activeGroups->addItem(ng::ui::NewListItem(line));
        }
    }
    if (ng::ReadAllGroups(m_strHost, lines)) {
        std::stable_sort(lines.begin(), lines.end(), SortsBefore);
        SetAllGroups(std::move(lines));
    }
    LoadCategories();

    bool enable = store.GetProfileInt(keys::kDownloadDirsSection, keys::kEnable, 0) != 0;
    m_pEnableDirectories->setChecked(enable);
    m_pDirectory->setEnabled(enable);
    m_pDirectoryUpdate->setEnabled(enable);

    SelectActiveRow(0);
    SelectFirstAllGroup();
    ShowGroupDirectory();
}

void CGroupSelectDialog::LoadCategories() {
    std::string host = ng::Profile().GetProfileString(keys::kProductSection, keys::kNNTPHost, "");
    if (host.empty()) {
        return;
    }
    for (const auto& name : m_categories.LoadCategories(host)) {
        AddCategoryName(0, name, true);
    }
    // Nothing is chosen until the user picks a category.
    m_pCategory->setCurrentIndex(-1);
}

void CGroupSelectDialog::AddCategoryName(int index, const std::string& name, bool sorted) {
    if (sorted) {
        // The place a sorted list gives it: after every entry that does not
        // sort after it, letter case ignored.
        const QString shown = ng::ui::FromBytes(name);
        index = 0;
        while (index < m_pCategory->count() &&
               QString::compare(m_pCategory->itemText(index), shown, Qt::CaseInsensitive) <= 0) {
            ++index;
        }
    }
    const bool wasEmpty = m_pCategory->count() == 0;
    const QString text = m_pCategory->currentText();
    ng::ui::InsertComboItem(m_pCategory, index, name);
    if (wasEmpty) {
        // A combo box chooses the first entry it gets; this one chooses none.
        m_pCategory->setCurrentIndex(-1);
        m_pCategory->setEditText(text);
    }
}

std::string CGroupSelectDialog::CategoryText() const {
    int index = m_pCategory->currentIndex();
    if (index >= 0 && m_pCategory->currentText() == m_pCategory->itemText(index)) {
        return ng::ui::ComboItemBytes(m_pCategory, index);
    }
    return ng::ui::ToBytes(m_pCategory->currentText());
}

std::vector<std::string> CGroupSelectDialog::ActiveGroups() const {
    std::vector<std::string> groups;
    groups.reserve(m_activeGroups->count());
    for (int i = 0; i < m_activeGroups->count(); ++i) {
        groups.push_back(ng::ui::ItemBytes(m_activeGroups->item(i)));
    }
    return groups;
}

std::vector<std::string> CGroupSelectDialog::AllGroups() {
    FlushPendingNames();
    return m_allGroupNames;
}

int CGroupSelectDialog::SelectedActiveRow() const {
    const QList<QListWidgetItem*> selected = m_activeGroups->selectedItems();
    return selected.isEmpty() ? -1 : m_activeGroups->row(selected.front());
}

int CGroupSelectDialog::SelectedAllRow() const {
    const QList<QListWidgetItem*> selected = m_pAllGroups->selectedItems();
    return selected.isEmpty() ? -1 : m_pAllGroups->row(selected.front());
}

void CGroupSelectDialog::SelectActiveRow(int row) {
    // A selection made by the dialog itself does not show the directory.
    ++m_nSelectingByProgram;
    if (row >= 0 && row < m_activeGroups->count()) {
        m_activeGroups->setCurrentRow(row);
    } else {
        m_activeGroups->setCurrentItem(nullptr);
        m_activeGroups->clearSelection();
    }
    --m_nSelectingByProgram;
}

void CGroupSelectDialog::SelectFirstAllGroup() {
    if (m_pAllGroups->count() > 0) {
        m_pAllGroups->setCurrentRow(0);
    }
}

void CGroupSelectDialog::UpdateMoveButtons() {
    m_pAddGroup->setEnabled(m_pAllGroups->count() > 0 || !m_pendingNames.empty());
    m_pRemoveGroup->setEnabled(m_activeGroups->count() > 0);
}

void CGroupSelectDialog::SetAllGroups(std::vector<std::string> names) {
    m_allGroupNames = std::move(names);
    m_pAllGroups->setUpdatesEnabled(false);
    m_pAllGroups->clear();
    m_pAllGroups->insertItems(0, Labels(m_allGroupNames.begin(), m_allGroupNames.end()));
    KeepBytesOfRows(m_pAllGroups, 0, m_allGroupNames.begin(), m_allGroupNames.end());
    m_pAllGroups->setUpdatesEnabled(true);
}

void CGroupSelectDialog::InsertAllGroup(const std::string& name) {
    auto at = std::upper_bound(m_allGroupNames.begin(), m_allGroupNames.end(), name, SortsBefore);
    int row = static_cast<int>(at - m_allGroupNames.begin());
    m_allGroupNames.insert(at, name);
    m_pAllGroups->insertItem(row, ng::ui::NewListItem(name));
}

void CGroupSelectDialog::FlushPendingNames() {
    m_flushTimer.stop();
    if (m_pendingNames.empty()) {
        return;
    }
    std::vector<std::string> names = std::move(m_pendingNames);
    m_pendingNames.clear();
    std::stable_sort(names.begin(), names.end(), SortsBefore);

    if (m_allGroupNames.empty() || !SortsBefore(names.front(), m_allGroupNames.back())) {
        // All after the last entry: a server's list often comes sorted.
        int row = m_pAllGroups->count();
        m_pAllGroups->insertItems(row, Labels(names.begin(), names.end()));
        KeepBytesOfRows(m_pAllGroups, row, names.begin(), names.end());
        m_allGroupNames.insert(m_allGroupNames.end(), std::make_move_iterator(names.begin()),
                               std::make_move_iterator(names.end()));
        return;
    }
    if (names.size() <= kSingleInsertLimit) {
        for (const auto& name : names) {
            InsertAllGroup(name);
        }
        return;
    }
    // Rebuild in one pass, keeping the entry the user has selected.
    int selectedRow = SelectedAllRow();
    std::string selected = selectedRow >= 0 ? m_allGroupNames[selectedRow] : std::string();
    std::vector<std::string> merged;
    merged.reserve(m_allGroupNames.size() + names.size());
    std::merge(std::make_move_iterator(m_allGroupNames.begin()),
               std::make_move_iterator(m_allGroupNames.end()),
               std::make_move_iterator(names.begin()), std::make_move_iterator(names.end()),
               std::back_inserter(merged), SortsBefore);
    SetAllGroups(std::move(merged));
    if (selectedRow >= 0) {
        auto at =
            std::lower_bound(m_allGroupNames.begin(), m_allGroupNames.end(), selected, SortsBefore);
        while (at != m_allGroupNames.end() && *at != selected) {
            ++at;
        }
        if (at != m_allGroupNames.end()) {
            m_pAllGroups->setCurrentRow(static_cast<int>(at - m_allGroupNames.begin()));
        }
    }
}

void CGroupSelectDialog::OnAddGroup() {
    FlushPendingNames();
    int row = SelectedAllRow();
    if (row < 0) {
        return;
    }
    const std::string& name = m_allGroupNames[row];
    bool present = false;
    for (int i = 0; i < m_activeGroups->count() && !present; ++i) {
        present = ng::ui::ItemBytes(m_activeGroups->item(i)) == name;
    }
    if (!present) {
        m_activeGroups->addItem(ng::ui::NewListItem(name));
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

    FlushPendingNames();
    auto [first, last] =
        std::equal_range(m_allGroupNames.begin(), m_allGroupNames.end(), name, SortsBefore);
    if (std::find(first, last, name) == last) {
        InsertAllGroup(name);
    }
    SelectActiveRow(std::min(row, m_activeGroups->count() - 1));
    SelectFirstAllGroup();
    UpdateMoveButtons();
}

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

void CGroupSelectDialog::OnCategoryCloseUp() {
    int index = m_pCategory->currentIndex();
    if (index < 0) {
        return;
    }
    // Most recently applied first, for the rest of this dialog's life.
    std::string name = ng::ui::ComboItemBytes(m_pCategory, index);
    m_pCategory->removeItem(index);
    ng::ui::InsertComboItem(m_pCategory, 0, name);
    m_pCategory->setCurrentIndex(0);

    // A name whose block has gone (Update stored it under a new name) finds
    // nothing: Active Groups stays as it is rather than being emptied.
    std::optional<std::vector<std::string>> groups = m_categories.Apply(name);
    if (!groups) {
        return;
    }
    m_activeGroups->clear();
    for (const auto& group : *groups) {
        m_activeGroups->addItem(ng::ui::NewListItem(group));
    }
    UpdateMoveButtons();
    SelectActiveRow(0);
}

void CGroupSelectDialog::OnCategoryAdd() {
    std::string name = CategoryText();
    m_categories.Add(name, ActiveGroups());
    AddCategoryName(0, name, false);
}

void CGroupSelectDialog::OnCategoryUpdate() {
    int index = m_pCategory->currentIndex();
    if (index < 0) {
        return;
    }
    m_categories.Update(ng::ui::ComboItemBytes(m_pCategory, index), CategoryText(), ActiveGroups());
}

void CGroupSelectDialog::OnCategoryDelete() {
    int index = m_pCategory->currentIndex();
    if (index < 0) {
        return;
    }
    std::string name = ng::ui::ComboItemBytes(m_pCategory, index);
    m_pCategory->removeItem(index);
    m_pCategory->setCurrentIndex(m_pCategory->count() > 0 ? 0 : -1);
    m_categories.Delete(name);
}

void CGroupSelectDialog::SetIdle(bool idle) {
    m_pOk->setEnabled(idle);
    m_pCancel->setEnabled(idle);
    m_pRefresh->setEnabled(idle);
    m_pStop->setEnabled(!idle);
}

void CGroupSelectDialog::OnRefresh() {
    if (m_bRefreshing) {
        return;
    }
    std::string host = ng::Profile().GetProfileString(keys::kProductSection, keys::kNNTPHost, "");
    if (host.empty()) {
        ng::ui::Tell(this, QStringLiteral("No news host specified in Setup"), QMessageBox::Warning);
        return;
    }
    SetIdle(false);
    m_bRefreshing = true;
    if (!m_pRefreshThread->Start(ng::SplitGroupFilter(ng::ui::EditBytes(m_pGroupFilter)))) {
        m_bRefreshing = false;
        SetIdle(true);
    }
}

void CGroupSelectDialog::OnStop() {
    m_pRefreshThread->Stop();
}

void CGroupSelectDialog::OnRefreshUpdates() {
    bool tookNames = false;
    bool done = false;
    m_sink.TakeUpdates([&](ng::RefreshUpdate& update) {
        switch (update.kind) {
            case ng::RefreshUpdate::Status:
                m_pStatus->setText(ng::ui::FromBytes(update.text));
                break;
            case ng::RefreshUpdate::Clear:
                m_pendingNames.clear();
                SetAllGroups({});
                break;
            case ng::RefreshUpdate::AddGroup:
                tookNames = true;
                if (!update.text.empty()) {
                    m_pendingNames.push_back(std::move(update.text));
                }
                break;
            case ng::RefreshUpdate::SelectFirst:
                FlushPendingNames();
                SelectFirstAllGroup();
                break;
            case ng::RefreshUpdate::Done:
                done = true;
                break;
        }
    });
    if (tookNames) {
        // The names are copied: the refresh may go on reading.
        m_pRefreshThread->AcknowledgeGroups();
        if (!m_pendingNames.empty() && !m_flushTimer.isActive()) {
            m_flushTimer.start();
        }
    }
    if (done) {
        OnRefreshDone();
    }
}

void CGroupSelectDialog::OnRefreshDone() {
    FlushPendingNames();
    m_pRefreshThread->Join();
    m_bRefreshing = false;
    SetIdle(true);
}

void CGroupSelectDialog::accept() {
    if (m_bRefreshing) {
        return;
    }
    FlushPendingNames();
    ng::SettingsStore& store = ng::Profile();
    store.WriteProfileString(keys::kProductSection, keys::kGroupIncl,
                             ng::ui::EditBytes(m_pGroupFilter));
    if (!ng::WriteActiveGroups(m_strHost, ActiveGroups())) {
        m_pStatus->setText(QStringLiteral("  Unable to create GroupList"));
        return;
    }
    if (!ng::WriteAllGroups(m_strHost, m_allGroupNames)) {
        m_pStatus->setText(QStringLiteral("  Unable to create AllGroups"));
        return;
    }
    m_categories.SaveCategories(store.GetProfileString(keys::kProductSection, keys::kNNTPHost, ""));
    QDialog::accept();
}

void CGroupSelectDialog::reject() {
    // The refresh thread hands its names to this dialog: it must not close
    // while they come.
    if (m_bRefreshing) {
        return;
    }
    QDialog::reject();
}

void RunGroupSelectDialog(QWidget* parent) {
    CGroupSelectDialog dialog(parent);
    dialog.exec();
}
