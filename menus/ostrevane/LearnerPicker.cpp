#include "LearnerPicker.h"

#include "Common.h"
#include "SaveQueue.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>

namespace {

constexpr int kColumns = 3;

QFont bigFont(int pixels, bool bold = false) {
    QFont font = CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 9, bold);
    font.setPixelSize(pixels);
    return font;
}

} // namespace

LearnerPicker::LearnerPicker(QWidget* parent)
    : QDialog(parent), found_(std::make_shared<QList<DB_LEARNER>>()) {
    setObjectName(QStringLiteral("learnerPicker"));
    setWindowTitle(QStringLiteral("だれが れんしゅう しますか？"));
    CMN_SetWindowSize(this, 720, 540);
    setStyleSheet(
        QStringLiteral("QDialog { background: #fff8e7; } QLabel { color: #2b3a67; }"
                       "QPushButton { background: #ffffff; color: #2b3a67; border: 2px solid #2b6cb0;"
                       " border-radius: 10px; padding: 6px; }"
                       "QPushButton:disabled { color: #8a8a8a; border-color: #b8b8b8; }"));

    auto* question = new QLabel(QStringLiteral("だれが れんしゅう しますか？"), this);
    question->setObjectName(QStringLiteral("lblQuestion"));
    question->setFont(bigFont(30, true));
    question->setGeometry(24, 16, 672, 48);
    question->setAlignment(Qt::AlignCenter);

    auto* area = new QScrollArea(this);
    area->setObjectName(QStringLiteral("names"));
    area->setGeometry(24, 76, 672, 330);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    auto* holder = new QWidget(area);
    grid_ = new QGridLayout(holder);
    grid_->setSpacing(12);
    grid_->setAlignment(Qt::AlignTop);
    area->setWidget(holder);
    auto* loading = new QLabel(QStringLiteral("なまえを よみこんで います…"), holder);
    loading->setObjectName(QStringLiteral("lblLoading"));
    loading->setFont(bigFont(20));
    grid_->addWidget(loading, 0, 0, 1, kColumns);

    auto* newLabel = new QLabel(QStringLiteral("あたらしい なまえ："), this);
    newLabel->setFont(bigFont(20));
    newLabel->setGeometry(24, 426, 200, 44);
    newName_ = new QLineEdit(this);
    newName_->setObjectName(QStringLiteral("txtNewName"));
    newName_->setFont(bigFont(22));
    newName_->setMaxLength(32);
    newName_->setGeometry(224, 424, 300, 48);
    start_ = new QPushButton(QStringLiteral("はじめる"), this);
    start_->setObjectName(QStringLiteral("cmdNewName"));
    start_->setFont(bigFont(22, true));
    start_->setGeometry(540, 424, 156, 48);
    start_->setEnabled(false);
    auto* back = new QPushButton(QStringLiteral("もどる"), this);
    back->setObjectName(QStringLiteral("cmdBack"));
    back->setFont(bigFont(20));
    back->setGeometry(540, 484, 156, 44);

    connect(newName_, &QLineEdit::textChanged, this,
            [this](const QString& text) { start_->setEnabled(DB_ValidLearnerName(text.trimmed())); });
    connect(newName_, &QLineEdit::returnPressed, this, [this] {
        if (start_->isEnabled())
            choose(newName_->text().trimmed());
    });
    connect(start_, &QPushButton::clicked, this, [this] { choose(newName_->text().trimmed()); });
    connect(back, &QPushButton::clicked, this, &QDialog::reject);

    // Read on the library's thread for reads; a picker closed meanwhile waits for nothing.
    halvor::db::readInBackground(
        this, [found = found_, path = DB_DefaultPath()] { DB_KnownLearners(path, *found); },
        [this] { showNames(*found_); });
}

LearnerPicker::~LearnerPicker() = default;

QStringList LearnerPicker::names() const {
    QStringList out;
    for (const QPushButton* b : buttons_)
        out << b->text();
    return out;
}

void LearnerPicker::showNames(const QList<DB_LEARNER>& learners) {
    if (QWidget* loading = findChild<QWidget*>(QStringLiteral("lblLoading")))
        loading->hide();
    int i = 0;
    for (const DB_LEARNER& learner : learners) {
        if (!DB_ValidLearnerName(learner.name))
            continue;
        auto* button = new QPushButton(learner.name, grid_->parentWidget());
        button->setObjectName(QStringLiteral("cmdLearner%1").arg(i));
        button->setFont(bigFont(22, learner.registered));
        button->setMinimumHeight(64);
        if (!learner.className.isEmpty())
            button->setToolTip(learner.className);
        connect(button, &QPushButton::clicked, this, [this, name = learner.name] { choose(name); });
        grid_->addWidget(button, i / kColumns, i % kColumns);
        buttons_ << button;
        ++i;
    }
    namesShown_ = true;
}

void LearnerPicker::choose(const QString& name) {
    chosen_ = name;
    accept();
}
