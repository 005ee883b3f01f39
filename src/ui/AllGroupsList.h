#pragma once
// All Groups in the group select dialog: the server's group names, kept
// sorted. Names from a refresh wait a moment and go in together, since one
// insertion per name makes a long list slow.

#include <QListWidget>
#include <QTimer>
#include <optional>
#include <string>
#include <vector>

class CAllGroupsList : public QListWidget {
    Q_OBJECT
public:
    explicit CAllGroupsList(QWidget* parent = nullptr);

    // The order of the list: letter case ignored (ASCII), ties kept in the
    // order they came.
    static bool SortsBefore(const std::string& a, const std::string& b);

    // Replaces every name, those still waiting included.
    void SetNames(std::vector<std::string> names);
    // A name from a refresh; an empty one is ignored. It shows within a
    // moment, or at the next Flush.
    void AddLater(std::string name);
    // Shows the names still waiting.
    void Flush();
    // Puts the name in its place unless it is there already.
    void AddName(const std::string& name);
    // Every name, as written on OK: those waiting go in first.
    const std::vector<std::string>& Names();
    bool HasNames() const { return count() > 0 || !m_waiting.empty(); }

    std::optional<std::string> SelectedName();
    void SelectFirst();

private:
    int SelectedRow() const;
    void Show(std::vector<std::string> sortedNames);
    void Insert(const std::string& name);

    std::vector<std::string> m_names;  // row for row
    std::vector<std::string> m_waiting;
    QTimer m_flushTimer;
};
