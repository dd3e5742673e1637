#include "LearnersDialog.h"

#include "Common.h"
#include "Database.h"
#include "Export.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace seiseki {

LearnersDialog::LearnersDialog(const QString& databasePath, QWidget* parent)
    : QDialog(parent), databasePath_(databasePath) {
    setObjectName(QStringLiteral("LearnersDialog"));
    setWindowTitle(QStringLiteral("学習者の 登録と 名簿"));
    resize(560, 480);
    auto* grid = new QGridLayout(this);
    list_ = new QTableWidget(0, 3, this);
    list_->setObjectName(QStringLiteral("lbxLearners"));
    list_->setHorizontalHeaderLabels(
        {QStringLiteral("名前"), QStringLiteral("クラス"), QStringLiteral("登録")});
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("txtNewName"));
    name_->setPlaceholderText(QStringLiteral("名前 (32文字まで)"));
    class_ = new QLineEdit(this);
    class_->setObjectName(QStringLiteral("txtNewClass"));
    class_->setPlaceholderText(QStringLiteral("クラス (なくても よい)"));
    auto* add = new QPushButton(QStringLiteral("登録する"), this);
    add->setObjectName(QStringLiteral("cmdAdd"));
    auto* remove = new QPushButton(QStringLiteral("登録を はずす"), this);
    remove->setObjectName(QStringLiteral("cmdRemove"));
    auto* import = new QPushButton(QStringLiteral("名簿を 読みこむ…"), this);
    import->setObjectName(QStringLiteral("cmdImport"));
    auto* close = new QPushButton(QStringLiteral("とじる"), this);
    message_ = new QLabel(QStringLiteral("登録を はずしても、 れんしゅうの きろくは きえません。"), this);
    message_->setObjectName(QStringLiteral("lblMessage"));
    message_->setWordWrap(true);
    grid->addWidget(list_, 0, 0, 1, 4);
    grid->addWidget(name_, 1, 0);
    grid->addWidget(class_, 1, 1);
    grid->addWidget(add, 1, 2);
    grid->addWidget(remove, 1, 3);
    grid->addWidget(message_, 2, 0, 1, 2);
    grid->addWidget(import, 2, 2);
    grid->addWidget(close, 2, 3);
    connect(add, &QPushButton::clicked, this, &LearnersDialog::add);
    connect(remove, &QPushButton::clicked, this, &LearnersDialog::remove);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(import, &QPushButton::clicked, this, [this] {
        const QString file =
            QFileDialog::getOpenFileName(this, QStringLiteral("名簿を 読みこむ"), {},
                                         QStringLiteral("名簿 (*.txt *.csv *.tsv);;すべて (*)"));
        if (!file.isEmpty())
            importClassList(file);
    });
    refresh();
}

void LearnersDialog::refresh() {
    QList<DB_LEARNER> learners;
    DB_KnownLearners(databasePath_, learners);
    list_->setRowCount(int(learners.size()));
    for (int r = 0; r < int(learners.size()); ++r) {
        list_->setItem(r, 0, new QTableWidgetItem(learners[r].name));
        list_->setItem(r, 1, new QTableWidgetItem(learners[r].className));
        list_->setItem(r, 2, new QTableWidgetItem(learners[r].registered ? QStringLiteral("○") : QString()));
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
    const bool ok = DB_RegisterLearners(databasePath_, {{name, class_->text().trimmed(), true}});
    QApplication::restoreOverrideCursor();
    tell(ok, QStringLiteral("「%1」を 登録しました。").arg(name));
    if (ok) {
        name_->clear();
        class_->clear();
    }
}

void LearnersDialog::remove() {
    const int row = list_->currentRow();
    if (row < 0 || list_->item(row, 2)->text().isEmpty()) {
        message_->setText(QStringLiteral("登録されている 名前を えらんで ください。"));
        return;
    }
    const QString name = list_->item(row, 0)->text();
    tell(DB_UnregisterLearner(databasePath_, name),
         QStringLiteral("「%1」の 登録を はずしました。 きろくは のこっています。").arg(name));
}

void LearnersDialog::importClassList(const QString& file) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        message_->setText(QStringLiteral("名簿の ファイルを ひらけません。"));
        return;
    }
    const ClassList list = parseClassList(in.readAll());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = list.learners.isEmpty() || DB_RegisterLearners(databasePath_, list.learners);
    QApplication::restoreOverrideCursor();
    QString done = QStringLiteral("%1人を 登録しました。").arg(list.learners.size());
    if (!list.rejected.isEmpty())
        done += QStringLiteral("\n読めなかった 行: ") + list.rejected.join(QStringLiteral("、 "));
    tell(ok, done);
}

} // namespace seiseki
