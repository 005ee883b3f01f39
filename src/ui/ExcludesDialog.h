#pragma once
// The excludes and logging dialog: the subject excludes, the sender excludes
// kept in the file "FromExcludes", and the download log switch and file.
// OK stores everything; Cancel stores nothing. "Clear Contents" empties the
// stored log file at once.

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class CExcludesDialog : public QDialog {
    Q_OBJECT
public:
    explicit CExcludesDialog(QWidget* parent = nullptr);

    void accept() override;  // OnOK

private:
    void OnAdd();
    void OnRemove();
    void OnEnableLogging();
    void OnClearContents();
    // The list's entries, top to bottom, as they are written to the file.
    std::vector<std::string> Entries() const;
    void OnInitDialog();
    // Inserts the entry at its place in the case-insensitive order, after any
    // entries that compare equal, so the order is stable.
    void AddSorted(const std::string& entry);

    QLineEdit* m_pSubjectExcl = nullptr;
    QLineEdit* m_pFromExclude = nullptr;
    QListWidget* m_pFromExcludes = nullptr;
    QCheckBox* m_pEnableLogging = nullptr;
    QLabel* m_pLogFileLabel = nullptr;
    QLineEdit* m_pLogFile = nullptr;
    QPushButton* m_pClearContents = nullptr;
};
