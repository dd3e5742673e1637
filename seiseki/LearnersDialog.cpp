#include "LearnersDialog.h"

#include "Common.h"
#include "Database.h"
#include "RosterDialog.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>

namespace seiseki {

LearnersDialog::LearnersDialog(const QString& databasePath, QWidget* parent)
    : QDialog(parent), databasePath_(databasePath) {
    setObjectName(QStringLiteral("LearnersDialog"));
    setWindowTitle(QStringLiteral("学習者の 登録と 名簿"));
    resize(640, 520);
    auto* grid = new QGridLayout(this);
    list_ = new QTableWidget(0, 5, this);
    list_->setObjectName(QStringLiteral("lbxLearners"));
    list_->setHorizontalHeaderLabels({QStringLiteral("番号"), QStringLiteral("名前"),
                                      QStringLiteral("ふりがな"), QStringLiteral("クラス"),
                                      QStringLiteral("登録")});
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    list_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("txtNewName"));
    name_->setPlaceholderText(QStringLiteral("名前 (32文字まで)"));
    class_ = new QLineEdit(this);
    class_->setObjectName(QStringLiteral("txtNewClass"));
    class_->setPlaceholderText(QStringLiteral("クラス (なくても よい)"));
    auto* add = new QPushButton(QStringLiteral("登録する"), this);
    add->setObjectName(QStringLiteral("cmdAdd"));
    auto* remove = new QPushButton(QStringLiteral("登録を はずす…"), this);
    remove->setObjectName(QStringLiteral("cmdRemove"));
    auto* import = new QPushButton(QStringLiteral("名簿を 読みこむ…"), this);
    import->setObjectName(QStringLiteral("cmdImport"));
    undo_ = new QPushButton(QStringLiteral("読みこみを もとに もどす"), this);
    undo_->setObjectName(QStringLiteral("cmdUndo"));
    undo_->setEnabled(false);
    auto* close = new QPushButton(QStringLiteral("とじる"), this);
    message_ = new QLabel(QStringLiteral("登録を はずしても、 れんしゅうの きろくは きえません。"), this);
    message_->setObjectName(QStringLiteral("lblMessage"));
    message_->setWordWrap(true);
    grid->addWidget(list_, 0, 0, 1, 4);
    grid->addWidget(name_, 1, 0);
    grid->addWidget(class_, 1, 1);
    grid->addWidget(add, 1, 2);
    grid->addWidget(remove, 1, 3);
    grid->addWidget(message_, 2, 0, 2, 2);
    grid->addWidget(import, 2, 2);
    grid->addWidget(undo_, 2, 3);
    grid->addWidget(close, 3, 3);
    connect(add, &QPushButton::clicked, this, &LearnersDialog::add);
    connect(remove, &QPushButton::clicked, this, &LearnersDialog::remove);
    connect(undo_, &QPushButton::clicked, this, &LearnersDialog::undoImport);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(import, &QPushButton::clicked, this, [this] {
        const QString file =
            QFileDialog::getOpenFileName(this, QStringLiteral("名簿を 読みこむ"), {},
                                         QStringLiteral("名簿 (*.csv *.txt *.tsv);;すべて (*)"));
        if (!file.isEmpty())
            importClassList(file);
    });
    confirmRemoval = [this](const QString& name) {
        return QMessageBox::question(
                   this, QStringLiteral("登録を はずす"),
                   QStringLiteral("「%1」の 登録を はずしますか？\nれんしゅうの きろくは のこります。")
                       .arg(name),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    refresh();
}

void LearnersDialog::showEvent(QShowEvent* event) {
    refresh(); // kept between openings: the list may have changed meanwhile
    QDialog::showEvent(event);
}

void LearnersDialog::refresh() {
    QList<DB_LEARNER> learners;
    DB_KnownLearners(databasePath_, learners);
    list_->setRowCount(int(learners.size()));
    for (int r = 0; r < int(learners.size()); ++r) {
        const DB_LEARNER& l = learners[r];
        const QStringList cells{l.number > 0 ? QString::number(l.number) : QString(), l.name, l.furigana,
                                l.className, l.registered ? QStringLiteral("○") : QString()};
        for (int c = 0; c < int(cells.size()); ++c)
            list_->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
}

void LearnersDialog::tell(bool ok, const QString& done) {
    message_->setText(ok ? done : QStringLiteral("できませんでした。 ") + DB_ProblemText(DB_LastProblem()));
    refresh();
}

void LearnersDialog::add() {
    const QString name = name_->text().trimmed();
    if (!DB_ValidLearnerName(name)) {
        message_->setText(QStringLiteral("名前は 1文字から 32文字で かいて ください。"));
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = DB_RegisterLearners(databasePath_, {{name, class_->text().trimmed(), true, 0, {}}});
    QApplication::restoreOverrideCursor();
    tell(ok, QStringLiteral("「%1」を 登録しました。").arg(name));
    if (ok) {
        name_->clear();
        class_->clear();
    }
}

void LearnersDialog::remove() {
    const int row = list_->currentRow();
    if (row < 0 || list_->item(row, 4)->text().isEmpty()) {
        message_->setText(QStringLiteral("登録されている 名前を えらんで ください。"));
        return;
    }
    const QString name = list_->item(row, 1)->text();
    if (!confirmRemoval(name))
        return;
    tell(DB_UnregisterLearner(databasePath_, name),
         QStringLiteral("「%1」の 登録を はずしました。 きろくは のこっています。").arg(name));
}

void LearnersDialog::importClassList(const QString& file) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        message_->setText(QStringLiteral("名簿の ファイルを ひらけません。"));
        return;
    }
    const RosterTable table = readRoster(in.readAll());
    if (table.encoding.isEmpty() || table.rows.isEmpty()) {
        message_->setText(
            table.encoding.isEmpty()
                ? QStringLiteral("名簿の 文字コードが わかりません。 UTF-8 か Shift_JIS で 保存して "
                                 "ください。")
                : QStringLiteral("名簿に 名前が ありません。"));
        return;
    }
    RosterDialog preview(table, QFileInfo(file).fileName(), this);
    if (preview.exec() == QDialog::Accepted)
        importLearners(preview.learners().learners);
}

void LearnersDialog::importLearners(const QList<DB_LEARNER>& learners) {
    QList<DB_LEARNER> before;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool ok = DB_KnownLearners(databasePath_, before) && DB_RegisterLearners(databasePath_, learners);
    QApplication::restoreOverrideCursor();
    if (ok)
        lastImport_ = undoOf(before, learners);
    undo_->setEnabled(ok && !lastImport_.isEmpty());
    tell(ok, QStringLiteral("%1人を 登録しました。").arg(learners.size()));
}

void LearnersDialog::undoImport() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = DB_ChangeLearners(databasePath_, lastImport_.restore, lastImport_.remove);
    QApplication::restoreOverrideCursor();
    if (ok)
        lastImport_ = {};
    undo_->setEnabled(!ok);
    tell(ok, QStringLiteral("名簿の 読みこみを もとに もどしました。"));
}

} // namespace seiseki
