// Registered learners: add one, take one off the list (the results stay), import a class list.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QTableWidget;

namespace seiseki {

class LearnersDialog : public QDialog {
    Q_OBJECT
public:
    explicit LearnersDialog(const QString& databasePath, QWidget* parent = nullptr);

    // Registers the learners of a class list file; what happened goes to the message line.
    void importClassList(const QString& file);

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
};

} // namespace seiseki
