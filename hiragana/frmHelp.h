// The explanation window: a guide for young learners and notes for everyone else, in a scrolling box.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace hiragana {

// The help text: 55 lines, each ending in a carriage return and a line feed.
QString HelpText();

class frmHelp : public QDialog {
    Q_OBJECT
public:
    explicit frmHelp(QWidget* parent = nullptr);

private:
    QLabel* Label1 = nullptr;
    QPlainTextEdit* txtMsg = nullptr;
    QPushButton* cmdCancel = nullptr;
};

} // namespace hiragana
