#pragma once
// The group select dialog: All Groups (the server's groups as last
// refreshed) and Active Groups (the groups a pass walks, in the order shown),
// the group categories, the per-group download directories, the group filter
// and the refresh of All Groups from the server.
//
// Everything it keeps goes to the settings store and to the server's three
// group files; the lists and categories are written on OK only, the
// directory settings at once.

#include <QDialog>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "engine/GroupListRefresh.h"
#include "store/GroupCategories.h"
#include "ui/GroupListRefreshQt.h"

class CCloseUpComboBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QtPasswordPrompt;

class CGroupSelectDialog : public QDialog {
    Q_OBJECT
public:
    explicit CGroupSelectDialog(QWidget* parent = nullptr);
    ~CGroupSelectDialog() override;

    // The handlers, callable by tests as the controls call them.
    void OnAddGroup();
    void OnRemoveGroup();
    void OnStop();
    void OnRefresh();
    void OnEnableDirectories();
    void OnCategoryCloseUp();
    void OnCategoryAdd();
    void OnCategoryDelete();
    void OnCategoryUpdate();
    void OnDirectoryUpdate();
    void OnActiveSelChange();
    void accept() override;  // OnOK
    void reject() override;  // OnCancel: refused while a refresh runs

    bool Refreshing() const { return m_bRefreshing; }
    // The lists as they are written on OK (names not yet shown included).
    std::vector<std::string> ActiveGroups() const;
    std::vector<std::string> AllGroups();
    const ng::GroupCategories& Categories() const { return m_categories; }

    // The order of All Groups: letter case ignored (ASCII), ties kept in
    // the order they came.
    static bool SortsBefore(const std::string& a, const std::string& b);

private:
    Q_INVOKABLE void OnRefreshUpdates();
    void OnInitDialog();
    void LoadCategories();
    void OnRefreshDone();
    void UpdateMoveButtons();
    void ShowGroupDirectory();
    void SelectActiveRow(int row);
    void SelectFirstAllGroup();
    void AddCategoryName(int index, const std::string& name, bool sorted);
    std::string CategoryText() const;
    int SelectedActiveRow() const;
    int SelectedAllRow() const;
    // All Groups is kept sorted; names from a refresh wait in m_pendingNames
    // and go in together, since one insertion per name is slow.
    void FlushPendingNames();
    void InsertAllGroup(const std::string& name);
    void SetAllGroups(std::vector<std::string> names);
    void SetIdle(bool idle);

    std::string m_strHost;
    std::string m_strGroupsFile;
    std::string m_strAllGroupsFile;
    ng::GroupCategories m_categories;
    std::vector<std::string> m_allGroupNames;  // All Groups, row for row
    std::vector<std::string> m_pendingNames;
    QTimer m_flushTimer;
    bool m_bRefreshing = false;
    int m_nSelectingByProgram = 0;

    QListWidget* m_pAllGroups = nullptr;
    QListWidget* m_activeGroups = nullptr;
    QPushButton* m_pRefresh = nullptr;
    QPushButton* m_pStop = nullptr;
    QPushButton* m_pAddGroup = nullptr;
    QPushButton* m_pRemoveGroup = nullptr;
    CCloseUpComboBox* m_pCategory = nullptr;
    QPushButton* m_pCategoryAdd = nullptr;
    QPushButton* m_pCategoryUpdate = nullptr;
    QPushButton* m_pCategoryDelete = nullptr;
    QCheckBox* m_pEnableDirectories = nullptr;
    QLineEdit* m_pDirectory = nullptr;
    QPushButton* m_pDirectoryUpdate = nullptr;
    QLabel* m_pBaseDir = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
    QLabel* m_pStatus = nullptr;
    QLineEdit* m_pGroupFilter = nullptr;

    QtPasswordPrompt* m_pPrompt = nullptr;
    CQtGroupListSink m_sink;
    std::unique_ptr<ng::CGroupListRefresh> m_pRefreshThread;
};

// Runs the group select dialog modally.
void RunGroupSelectDialog(QWidget* parent);
