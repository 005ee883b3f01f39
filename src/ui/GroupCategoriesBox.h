#pragma once
// The group categories of the group select dialog: named sets of active
// groups, chosen from a drop-down list. Add stores the active groups under
// the typed name, Update stores them under the chosen entry (renamed when a
// new name was typed), Delete removes the chosen entry; choosing an entry
// applies its groups. The categories are written only when the dialog ends
// with OK.

#include <QGroupBox>
#include <functional>
#include <string>
#include <vector>

#include "store/GroupCategories.h"

class CCloseUpComboBox;

class CGroupCategoriesBox : public QGroupBox {
    Q_OBJECT
public:
    using Groups = std::vector<std::string>;

    // `activeGroups` gives the dialog's active groups when Add or Update
    // store them.
    CGroupCategoriesBox(std::function<Groups()> activeGroups, QWidget* parent);

    void Load(const std::string& host);
    void Save(const std::string& host);
    const ng::GroupCategories& Categories() const { return m_categories; }

signals:
    // An entry was chosen and its category found: these are to be the
    // active groups.
    void applied(const Groups& groups);

private:
    void OnCloseUp();
    void OnAdd();
    void OnUpdate();
    void OnDelete();
    void AddName(int index, const std::string& name);

    std::function<Groups()> m_activeGroups;
    ng::GroupCategories m_categories;
    CCloseUpComboBox* m_pCombo;
};
