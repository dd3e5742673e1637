// Who is practising, asked on a shared computer before the course menu starts: big buttons with the names the
// results know (the registered learners first), and a field for a new name.
#pragma once

#include "Database.h"

#include <QDialog>
#include <memory>

class QGridLayout;
class QLineEdit;
class QPushButton;

class LearnerPicker : public QDialog {
    Q_OBJECT
public:
    // Starts reading the names away from the window's thread (a school's server may be slow to answer).
    explicit LearnerPicker(QWidget* parent = nullptr);
    ~LearnerPicker() override;

    QString chosen() const { return chosen_; }
    bool namesShown() const { return namesShown_; }
    // The names on the buttons, in order.
    QStringList names() const;

private:
    void showNames(const QList<DB_LEARNER>& learners);
    void choose(const QString& name);

    std::shared_ptr<QList<DB_LEARNER>> found_;
    QGridLayout* grid_ = nullptr;
    QLineEdit* newName_ = nullptr;
    QPushButton* start_ = nullptr;
    QList<QPushButton*> buttons_;
    QString chosen_;
    bool namesShown_ = false;
};
