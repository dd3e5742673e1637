#include "RosterDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace seiseki {

namespace {

constexpr int kFileRowsShown = 8;

QTableWidget* makeTable(int columns, const char* name, QWidget* parent) {
    auto* t = new QTableWidget(0, columns, parent);
    t->setObjectName(QLatin1String(name));
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    return t;
}

} // namespace

RosterDialog::RosterDialog(const RosterTable& roster, const QString& fileName, QWidget* parent)
    : QDialog(parent), table_(roster) {
    setObjectName(QStringLiteral("RosterDialog"));
    setWindowTitle(QStringLiteral("名簿の 読みこみ — かくにん"));
    resize(720, 560);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("%1 (%2)\nそれぞれの 列が 何か えらんで ください。 下の 表の とおりに 登録します。")
            .arg(fileName, table_.encoding),
        this));
    file_ = makeTable(table_.columns, "tblFile", this);
    file_->horizontalHeader()->hide();
    file_->setRowCount(1 + int(std::min<qsizetype>(table_.rows.size(), kFileRowsShown)));
    for (int c = 0; c < table_.columns; ++c) {
        auto* picker = new QComboBox(file_);
        picker->setObjectName(QStringLiteral("comColumn%1").arg(c + 1));
        for (const RosterField f : kRosterFields)
            picker->addItem(rosterFieldName(f), int(f));
        picker->setCurrentIndex(picker->findData(int(table_.fields.value(c, RosterField::Ignore))));
        connect(picker, &QComboBox::currentIndexChanged, this, &RosterDialog::update);
        file_->setCellWidget(0, c, picker);
        pickers_ << picker;
        for (int r = 0; r + 1 < file_->rowCount(); ++r)
            file_->setItem(r + 1, c, new QTableWidgetItem(table_.rows[r].value(c)));
    }
    layout->addWidget(file_, 2);
    header_ = new QCheckBox(QStringLiteral("1行目は 見出し (登録しない)"), this);
    header_->setObjectName(QStringLiteral("chkHeader"));
    header_->setChecked(table_.header);
    connect(header_, &QCheckBox::toggled, this, &RosterDialog::update);
    layout->addWidget(header_);
    class_ = new QLineEdit(this);
    class_->setObjectName(QStringLiteral("txtClassForAll"));
    class_->setPlaceholderText(QStringLiteral("ぜんいんを おなじ クラスに するときは ここに クラスを かく"));
    connect(class_, &QLineEdit::textChanged, this, &RosterDialog::update);
    layout->addWidget(class_);
    layout->addWidget(new QLabel(QStringLiteral("登録する 学習者"), this));
    preview_ = makeTable(4, "tblPreview", this);
    preview_->setHorizontalHeaderLabels({QStringLiteral("出席番号"), QStringLiteral("名前"),
                                         QStringLiteral("ふりがな"), QStringLiteral("クラス")});
    layout->addWidget(preview_, 3);
    rejected_ = new QLabel(this);
    rejected_->setObjectName(QStringLiteral("lblRejected"));
    rejected_->setStyleSheet(QStringLiteral("color: #c0392b;"));
    rejected_->setWordWrap(true);
    layout->addWidget(rejected_);
    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QString(), QDialogButtonBox::AcceptRole);
    ok_->setObjectName(QStringLiteral("cmdRegister"));
    buttons->addButton(QStringLiteral("やめる"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    update();
}

QString RosterDialog::classForAll() const {
    return class_->text().trimmed();
}

void RosterDialog::update() {
    for (int c = 0; c < pickers_.size(); ++c) {
        const auto f = RosterField(pickers_[c]->currentData().toInt());
        // One column per meaning: choosing it here takes it from the column that had it.
        if (f != RosterField::Ignore && table_.fields.value(c) != f) {
            const int other = int(table_.fields.indexOf(f));
            if (other >= 0) {
                const QSignalBlocker block(pickers_[other]);
                pickers_[other]->setCurrentIndex(pickers_[other]->findData(int(RosterField::Ignore)));
                table_.fields[other] = RosterField::Ignore;
            }
        }
        if (c < table_.fields.size())
            table_.fields[c] = f;
    }
    table_.header = header_->isChecked();
    const RosterLearners list = learners();
    preview_->setRowCount(int(list.learners.size()));
    for (int r = 0; r < int(list.learners.size()); ++r) {
        const DB_LEARNER& l = list.learners[r];
        const QStringList cells{l.number > 0 ? QString::number(l.number) : QString(), l.name, l.furigana,
                                l.className};
        for (int c = 0; c < 4; ++c)
            preview_->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    rejected_->setText(list.rejected.isEmpty()
                           ? QString()
                           : QStringLiteral("登録しない 行: ") + list.rejected.join(QStringLiteral("、 ")));
    ok_->setText(QStringLiteral("%1人を 登録する").arg(list.learners.size()));
    ok_->setEnabled(!list.learners.isEmpty());
}

} // namespace seiseki
