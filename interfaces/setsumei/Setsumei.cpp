#include "Setsumei.h"

#include "Common.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

CSetsumeiDlg::CSetsumeiDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("説明"));
    setModal(true);
    setObjectName(QStringLiteral("dlgSetsumei"));

    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("txtSetsumei"));
    text_->setReadOnly(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // The lines are laid out in columns with full- and half-width spaces: fixed pitch, never re-wrapped.
    text_->setFont(CMN_Font(QStringLiteral("ＭＳ ゴシック"), 12.0));
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFrameShape(QFrame::NoFrame);
    text_->document()->setDocumentMargin(14);
    text_->setStyleSheet(QStringLiteral("QPlainTextEdit { background: #ffffff; color: #2b3a67; }"));
    text_->installEventFilter(this);

    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    close->setDefault(true);
    close->setAutoDefault(true);
    close->setMinimumSize(96, 30);
    connect(close, &QPushButton::clicked, this, [this] { done(IDOK); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(text_);
    layout->addLayout(buttons);
    // Room for the longest lines the drills give (about 84 half-width columns) without a sideways scroll.
    resize(740, 520);
}

void CSetsumeiDlg::AddText(const QString& line) {
    lines_.append(line);
    text_->setPlainText(lines_.join(QLatin1Char('\n')));
}

int CSetsumeiDlg::DoModal() {
    text_->verticalScrollBar()->setValue(0);
    text_->horizontalScrollBar()->setValue(0);
    text_->setFocus();
    return exec();
}

void CSetsumeiDlg::reject() {
    done(IDCANCEL);
}

bool CSetsumeiDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            done(IDOK);
            return true;
        }
        if (key == Qt::Key_Escape) {
            done(IDCANCEL);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
