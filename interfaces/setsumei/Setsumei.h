// The instructions dialog: lines added one by one, shown in order in a fixed-pitch Japanese font.
#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;

class CSetsumeiDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDOK = 1;
    static constexpr int IDCANCEL = 2;

    explicit CSetsumeiDlg(QWidget* parent = nullptr);

    void AddText(const QString& line);
    // Shows the lines until the learner closes the window: IDOK by the close button or Enter, IDCANCEL by Esc
    // or the window's close box.
    int DoModal();

    QStringList lines() const { return lines_; }

public slots:
    void reject() override; // Esc and the close box: IDCANCEL

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStringList lines_;
    QPlainTextEdit* text_ = nullptr;
};
