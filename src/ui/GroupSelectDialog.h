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
#include <memory>
#include <string>
#include <vector>

#include "store/GroupCategories.h"
#include "ui/GroupListRefreshQt.h"

class CAllGroupsList;
class CGroupCategoriesBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class CGroupSelectDialog : public QDialog {
    Q_OBJECT
public:
    explicit CGroupSelectDialog(QWidget* parent = nullptr);
    ~CGroupSelectDialog() override;

    void accept() override;  // OnOK
    void reject() override;  // OnCancel: refused while a refresh runs

    bool Refreshing() const { return m_pGroupListRefresh->Running(); }
    // All Groups as written on OK (names not yet shown included).
    std::vector<std::string> AllGroups();
    const ng::GroupCategories& Categories() const;

private:
    void OnInitDialog();
    std::vector<std::string> ActiveGroups() const;
    void SetActiveGroups(const std::vector<std::string>& groups);
    int SelectedActiveRow() const;
    // Selects without showing the group's directory, as the user's choice would.
    void SelectActiveRow(int row);
    void UpdateMoveButtons();
    void OnAddGroup();
    void OnRemoveGroup();
    void OnActiveSelChange();
    void ShowGroupDirectory();
    void OnDirectoryUpdate();
    void OnEnableDirectories();
    void OnRefresh();
    void SetIdle(bool idle);

    std::string m_strHost;
    int m_nSelectingByProgram = 0;

    CAllGroupsList* m_pAllGroups = nullptr;
    QListWidget* m_activeGroups = nullptr;
    QPushButton* m_pRefresh = nullptr;
    QPushButton* m_pStop = nullptr;
    QPushButton* m_pAddGroup = nullptr;
    QPushButton* m_pRemoveGroup = nullptr;
    CGroupCategoriesBox* m_pCategories = nullptr;
    QCheckBox* m_pEnableDirectories = nullptr;
    QLineEdit* m_pDirectory = nullptr;
    QPushButton* m_pDirectoryUpdate = nullptr;
    QLabel* m_pBaseDir = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
    QLabel* m_pStatus = nullptr;
    QLineEdit* m_pGroupFilter = nullptr;

    // Made after the controls it fills, and gone before them.
    std::unique_ptr<CGroupListRefreshQt> m_pGroupListRefresh;
};

// Runs the group select dialog modally.
void RunGroupSelectDialog(QWidget* parent);
