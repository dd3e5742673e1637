// Registered learners: add one, take one off the list after asking (the results stay), import a class list
// through its preview, and undo the last import.
#pragma once

#include "Roster.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace seiseki {

class LearnersDialog : public QDialog {
    Q_OBJECT
public:
    explicit LearnersDialog(const QString& databasePath, QWidget* parent = nullptr);

    // Reads a class list and shows its preview; registers what the teacher accepts.
    void importClassList(const QString& file);
    // Registers the learners of an accepted preview, keeping what undoes it.
    void importLearners(const QList<DB_LEARNER>& learners);
    // Undoes the last import.
    void undoImport();
    // Asks before a learner is taken off the list (a test answers it).
    std::function<bool(const QString& name)> confirmRemoval;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    void add();
    void remove();
    void tell(bool ok, const QString& done);

    QString databasePath_;
    QTableWidget* list_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* class_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* undo_ = nullptr;
    RosterUndo lastImport_;
};

} // namespace seiseki
