// The preview of a class list before anything is registered: the file's columns with what each is taken to
// be (the teacher may choose otherwise), and exactly the learners that will be registered, with the lines
// that will not and why.
#pragma once

#include "Roster.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace seiseki {

class RosterDialog : public QDialog {
    Q_OBJECT
public:
    RosterDialog(const RosterTable& table, const QString& fileName, QWidget* parent = nullptr);

    // What the teacher chose: the table with its columns as now set, and the class given for all.
    const RosterTable& table() const { return table_; }
    QString classForAll() const;
    RosterLearners learners() const { return rosterLearners(table_, classForAll()); }

private:
    void update();

    RosterTable table_;
    QTableWidget* file_ = nullptr;
    QList<QComboBox*> pickers_;
    QCheckBox* header_ = nullptr;
    QLineEdit* class_ = nullptr;
    QTableWidget* preview_ = nullptr;
    QLabel* rejected_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace seiseki
