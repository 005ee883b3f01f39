#include "ui/GroupCategoriesBox.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/CloseUpComboBox.h"
#include "ui/UiText.h"

CGroupCategoriesBox::CGroupCategoriesBox(std::function<Groups()> activeGroups, QWidget* parent)
    : QGroupBox(QStringLiteral("&Group Categories"), parent),
      m_activeGroups(std::move(activeGroups)) {
    m_pCombo = new CCloseUpComboBox(this);
    m_pCombo->setObjectName(QStringLiteral("category"));
    m_pCombo->setEditable(true);
    // Names join the list only through Add; typing completes nothing.
    m_pCombo->setInsertPolicy(QComboBox::NoInsert);
    m_pCombo->setCompleter(nullptr);
    auto* buttons = new QHBoxLayout;
    auto addButton = [&](const char* caption, const char* name,
                         void (CGroupCategoriesBox::*act)()) {
        auto* button = new QPushButton(QString::fromUtf8(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, act);
        buttons->addWidget(button);
    };
    addButton("&Add", "categoryAdd", &CGroupCategoriesBox::OnAdd);
    addButton("&Update", "categoryUpdate", &CGroupCategoriesBox::OnUpdate);
    addButton("&Delete", "categoryDelete", &CGroupCategoriesBox::OnDelete);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pCombo);
    layout->addLayout(buttons);
    connect(m_pCombo, &CCloseUpComboBox::closedUp, this, &CGroupCategoriesBox::OnCloseUp);
}

void CGroupCategoriesBox::Load(const std::string& host) {
    for (const auto& name : m_categories.LoadCategories(host)) {
        // After every entry that does not sort after it, letter case ignored.
        const QString shown = ng::ui::FromBytes(name);
        int index = 0;
        while (index < m_pCombo->count() &&
               QString::compare(m_pCombo->itemText(index), shown, Qt::CaseInsensitive) <= 0) {
            ++index;
        }
        AddName(index, name);
    }
    // Nothing is chosen until the user picks a category.
    m_pCombo->setCurrentIndex(-1);
}

void CGroupCategoriesBox::Save(const std::string& host) {
    m_categories.SaveCategories(host);
}

void CGroupCategoriesBox::AddName(int index, const std::string& name) {
    const bool wasEmpty = m_pCombo->count() == 0;
    const QString text = m_pCombo->currentText();
    ng::ui::InsertComboItem(m_pCombo, index, name);
    if (wasEmpty) {
        // A combo box chooses the first entry it gets; this one chooses none.
        m_pCombo->setCurrentIndex(-1);
        m_pCombo->setEditText(text);
    }
}

void CGroupCategoriesBox::OnCloseUp() {
    int index = m_pCombo->currentIndex();
    if (index < 0) {
        return;
    }
    // Most recently applied first, for the rest of this dialog's life.
    std::string name = ng::ui::ComboItemBytes(m_pCombo, index);
    m_pCombo->removeItem(index);
    ng::ui::InsertComboItem(m_pCombo, 0, name);
    m_pCombo->setCurrentIndex(0);

    // A name whose block has gone (Update stored it under a new name) finds
    // nothing: the active groups stay as they are rather than being emptied.
    if (std::optional<Groups> groups = m_categories.Apply(name)) {
        emit applied(*groups);
    }
}

void CGroupCategoriesBox::OnAdd() {
    std::string name = ng::ui::ComboTextBytes(m_pCombo);
    m_categories.Add(name, m_activeGroups());
    AddName(0, name);
}

void CGroupCategoriesBox::OnUpdate() {
    int index = m_pCombo->currentIndex();
    if (index < 0) {
        return;
    }
    m_categories.Update(ng::ui::ComboItemBytes(m_pCombo, index), ng::ui::ComboTextBytes(m_pCombo),
                        m_activeGroups());
}

void CGroupCategoriesBox::OnDelete() {
    int index = m_pCombo->currentIndex();
    if (index < 0) {
        return;
    }
    std::string name = ng::ui::ComboItemBytes(m_pCombo, index);
    m_pCombo->removeItem(index);
    m_pCombo->setCurrentIndex(m_pCombo->count() > 0 ? 0 : -1);
    m_categories.Delete(name);
}
