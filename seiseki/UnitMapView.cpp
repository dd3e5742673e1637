#include "UnitMapView.h"

#include "Common.h"

#include <QEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>
#include <cmath>

namespace seiseki {

using halvor::UnitChange;
using halvor::UnitSummary;

namespace {

const QString kGothic = QStringLiteral("ＭＳ Ｐゴシック");
constexpr double kRedFrom = 0.3; // a miss rate from which a cell is as red as it gets
constexpr int kListed = 10;

struct Cell {
    QRectF rect;
    QString unit;
};

// The table's sections side by side, each under its title; a cell's side is what the area allows.
QList<Cell> kanaCells(const QRectF& area, QList<std::pair<QRectF, QString>>* titles) {
    const QList<halvor::KanaChartSection>& chart = halvor::KanaChart();
    constexpr double gap = 0.6;
    constexpr double titleRows = 1.0;
    qsizetype columns = 0;
    qsizetype rows = 0;
    for (const auto& section : chart) {
        columns += section.rows.first().size();
        rows = std::max(rows, section.rows.size());
    }
    const double side = std::min(area.width() / (double(columns) + gap * double(chart.size() - 1)),
                                 area.height() / (double(rows) + titleRows));
    QList<Cell> cells;
    double x = area.left();
    for (const auto& section : chart) {
        const qsizetype width = section.rows.first().size();
        if (titles)
            titles->append({QRectF(x, area.top(), side * double(width), side * titleRows), section.title});
        for (qsizetype r = 0; r < section.rows.size(); ++r) {
            for (qsizetype c = 0; c < section.rows[r].size(); ++c) {
                if (!section.rows[r][c].isEmpty())
                    cells.append({QRectF(x + side * double(c), area.top() + side * (titleRows + double(r)),
                                         side, side),
                                  section.rows[r][c]});
            }
        }
        x += side * (double(width) + gap);
    }
    return cells;
}

// Four rows of ten keys, each row set in a little further as on a keyboard.
QList<Cell> keyCells(const QRectF& area) {
    constexpr double indent[] = {0, 0.5, 0.75, 1.25};
    const double side = std::min(area.width() / 11.25, area.height() / 4);
    QList<Cell> cells;
    const QStringList& rows = halvor::KeyboardRows();
    for (qsizetype r = 0; r < rows.size(); ++r) {
        for (qsizetype c = 0; c < rows[r].size(); ++c)
            cells.append({QRectF(area.left() + side * (indent[r] + double(c)), area.top() + side * double(r),
                                 side, side),
                          rows[r].mid(c, 1)});
    }
    return cells;
}

QString percent(double rate) {
    return QStringLiteral("%1%").arg(std::lround(rate * 100));
}

// What a cell tells when pointed at.
QString describe(const UnitSummary& u) {
    QString text = QStringLiteral("%1　%2回中 %3回 ミス（%4）")
                       .arg(u.unit)
                       .arg(u.attempts)
                       .arg(u.misses)
                       .arg(percent(u.missRate));
    if (!u.wrongKey.isEmpty())
        text += QStringLiteral("\nよく まちがえた キー：%1").arg(u.wrongKey);
    if (u.meanMs >= 0)
        text += QStringLiteral("\nうつ じかん：%1びょう").arg(u.meanMs / 1000.0, 0, 'f', 1);
    return text;
}

void paintCells(QPainter& p, const QList<Cell>& cells, const QHash<QString, UnitSummary>& units) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    for (const Cell& cell : cells) {
        const QRectF box = cell.rect.adjusted(1.5, 1.5, -1.5, -1.5);
        const auto found = units.constFind(cell.unit);
        const bool practised = found != units.constEnd() && found->attempts > 0;
        p.setPen(QPen(practised ? QColor(0x60, 0x60, 0x60) : QColor(0xc8, 0xc8, 0xc8), 1));
        p.setBrush(practised ? MissColour(found->missRate) : QColor(Qt::white));
        p.drawRoundedRect(box, box.height() * 0.15, box.height() * 0.15);
        QFont font(kGothic);
        // Two kana share the cell's width; one stands a little larger.
        font.setPixelSize(std::max(1, int(box.height() * (cell.unit.size() > 1 ? 0.42 : 0.56))));
        p.setFont(font);
        p.setPen(practised ? QColor(Qt::black) : QColor(0xa0, 0xa0, 0xa0));
        p.drawText(box, Qt::AlignCenter, cell.unit);
    }
    p.restore();
}

void paintLegend(QPainter& p, const QRectF& area) {
    p.save();
    QFont font(kGothic);
    font.setPixelSize(std::max(1, int(area.height() * 0.6)));
    p.setFont(font);
    const QList<std::pair<QString, QColor>> items = {
        {QStringLiteral("ミス なし"), MissColour(0)},
        {QStringLiteral("10%"), MissColour(0.1)},
        {QStringLiteral("20%"), MissColour(0.2)},
        {QStringLiteral("30%いじょう"), MissColour(kRedFrom)},
        {QStringLiteral("れんしゅう なし"), QColor(Qt::white)},
    };
    double x = area.left();
    for (const auto& [label, colour] : items) {
        const QRectF swatch(x, area.top(), area.height(), area.height());
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.setBrush(colour);
        p.drawRect(swatch.adjusted(1, 1, -1, -1));
        const double width = p.fontMetrics().horizontalAdvance(label) + area.height() * 0.8;
        p.setPen(Qt::black);
        p.drawText(QRectF(swatch.right() + 4, area.top(), width, area.height()), Qt::AlignVCenter, label);
        x = swatch.right() + 4 + width;
    }
    p.restore();
}

// A map on screen: the cells, a legend under them, and what a cell holds when pointed at.
class MapWidget : public QWidget {
public:
    enum class Kind { Kana, Keyboard };
    MapWidget(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
        setMinimumSize(kind == Kind::Kana ? 420 : 300, kind == Kind::Kana ? 300 : 130);
    }
    void setUnits(QHash<QString, UnitSummary> units) {
        units_ = std::move(units);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const auto [map, legend] = areas();
        if (kind_ == Kind::Kana)
            PaintKanaMap(p, map, units_);
        else
            PaintKeyboardMap(p, map, units_);
        paintLegend(p, legend);
    }
    bool event(QEvent* e) override {
        if (e->type() != QEvent::ToolTip)
            return QWidget::event(e);
        auto* help = static_cast<QHelpEvent*>(e);
        const auto [map, legend] = areas();
        const QList<Cell> cells = kind_ == Kind::Kana ? kanaCells(map, nullptr) : keyCells(map);
        for (const Cell& cell : cells) {
            const auto found = units_.constFind(cell.unit);
            if (cell.rect.contains(help->pos()) && found != units_.constEnd()) {
                QToolTip::showText(help->globalPos(), describe(*found), this);
                return true;
            }
        }
        QToolTip::hideText();
        e->ignore();
        return true;
    }

private:
    std::pair<QRectF, QRectF> areas() const {
        const double legend = 18;
        const QRectF all = QRectF(rect()).adjusted(4, 4, -4, -4);
        return {all.adjusted(0, 0, 0, -legend - 6),
                QRectF(all.left(), all.bottom() - legend, all.width(), legend)};
    }

    Kind kind_;
    QHash<QString, UnitSummary> units_;
};

QHash<QString, UnitSummary> byUnit(const QList<UnitChange>& changes) {
    QHash<QString, UnitSummary> units;
    for (const UnitChange& c : changes)
        units.insert(c.now.unit, c.now);
    return units;
}

QString changeText(const UnitChange& c) {
    if (!c.before)
        return QStringLiteral("まえの きかんは なし");
    const long points = std::lround(c.change * 100);
    if (points < 0)
        return QStringLiteral("よく なった（%1ポイント）").arg(points);
    if (points > 0)
        return QStringLiteral("ミスが ふえた（+%1ポイント）").arg(points);
    return QStringLiteral("かわらない");
}

QLabel* heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(CMN_Font(kGothic, 11, true));
    return label;
}

} // namespace

QColor MissColour(double missRate) {
    // From a pale green through yellow and orange to a soft red: readable behind black text.
    const double t = std::clamp(missRate / kRedFrom, 0.0, 1.0);
    return QColor::fromHsvF(float((1.0 - t) * 120.0 / 360.0), float(0.25 + 0.45 * t), 1.0f);
}

void PaintKanaMap(QPainter& painter, const QRectF& area, const QHash<QString, UnitSummary>& units) {
    QList<std::pair<QRectF, QString>> titles;
    const QList<Cell> cells = kanaCells(area, &titles);
    painter.save();
    for (const auto& [rect, title] : titles) {
        QFont font(kGothic);
        font.setPixelSize(std::max(1, int(rect.height() * 0.5)));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, title);
    }
    painter.restore();
    paintCells(painter, cells, units);
}

void PaintKeyboardMap(QPainter& painter, const QRectF& area, const QHash<QString, UnitSummary>& keys) {
    paintCells(painter, keyCells(area), keys);
}

UnitMapView::UnitMapView(Scope scope, QWidget* parent) : QWidget(parent), scope_(scope) {
    setObjectName(scope == Scope::Learner ? QStringLiteral("learnerMap") : QStringLiteral("classMap"));
    auto* layout = new QVBoxLayout(this);
    lblEmpty_ = new QLabel(QStringLiteral("この きかんは まだ れんしゅうして いません。"), this);
    lblEmpty_->setObjectName(QStringLiteral("lblMapEmpty"));
    layout->addWidget(lblEmpty_);
    auto* maps = new QHBoxLayout;
    auto* kanaColumn = new QVBoxLayout;
    kanaColumn->addWidget(heading(scope == Scope::Learner
                                      ? QStringLiteral("ひらがな：ミスの わりあい")
                                      : QStringLiteral("クラスの ひらがな：ミスの わりあい"),
                                  this));
    kanaMap_ = new MapWidget(MapWidget::Kind::Kana, this);
    kanaMap_->setObjectName(QStringLiteral("kanaMap"));
    kanaColumn->addWidget(kanaMap_, 1);
    maps->addLayout(kanaColumn, 3);
    auto* keyColumn = new QVBoxLayout;
    lblKeyboard_ = heading(QStringLiteral("キーボード（ゆびの れんしゅう）：ミスの わりあい"), this);
    keyColumn->addWidget(lblKeyboard_);
    keyboardMap_ = new MapWidget(MapWidget::Kind::Keyboard, this);
    keyboardMap_->setObjectName(QStringLiteral("keyboardMap"));
    keyColumn->addWidget(keyboardMap_);
    keyColumn->addStretch(1);
    maps->addLayout(keyColumn, 2);
    layout->addLayout(maps, 3);
    layout->addWidget(heading(scope == Scope::Learner
                                  ? QStringLiteral("にがてな もじと キー（おおい じゅん）")
                                  : QStringLiteral("クラスで ミスの おおい もじ"),
                              this));
    tblWeakest_ = new QTableWidget(0, 6, this);
    tblWeakest_->setObjectName(QStringLiteral("tblWeakest"));
    tblWeakest_->setHorizontalHeaderLabels({QStringLiteral("もじ・キー"), QStringLiteral("れんしゅう（回）"),
                                            QStringLiteral("ミス（回）"), QStringLiteral("ミスの わりあい"),
                                            QStringLiteral("よく まちがえた キー"),
                                            QStringLiteral("まえの きかんと くらべて")});
    tblWeakest_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblWeakest_->verticalHeader()->hide();
    tblWeakest_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tblWeakest_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(tblWeakest_, 2);
    // The class page speaks of kana only: the keyboard is each learner's own.
    lblKeyboard_->setVisible(scope == Scope::Learner);
    keyboardMap_->setVisible(scope == Scope::Learner);
    // A class's sums are added up by the database, which keeps no wrong key for them.
    tblWeakest_->setColumnHidden(4, scope == Scope::Class);
    setUnits({}, {});
}

void UnitMapView::setUnits(const QList<UnitChange>& kana, const QList<UnitChange>& keys) {
    static_cast<MapWidget*>(kanaMap_)->setUnits(byUnit(kana));
    static_cast<MapWidget*>(keyboardMap_)->setUnits(byUnit(keys));
    lblEmpty_->setVisible(kana.isEmpty() && (scope_ == Scope::Class || keys.isEmpty()));

    // The weakest: the kana (and for a learner the keys), by score, as many as have enough data and a miss.
    QList<UnitChange> weakest;
    QList<UnitSummary> summaries;
    QHash<QString, UnitChange> changes;
    for (const QList<UnitChange>* list : {&kana, &keys}) {
        if (list == &keys && scope_ == Scope::Class)
            continue;
        for (const UnitChange& c : *list) {
            summaries.append(c.now);
            changes.insert(c.now.unit, c);
        }
    }
    for (const UnitSummary& u : halvor::WeakestUnits(summaries, kListed))
        weakest.append(changes.value(u.unit));
    tblWeakest_->setRowCount(int(weakest.size()));
    for (int r = 0; r < int(weakest.size()); ++r) {
        const UnitChange& c = weakest[r];
        const QStringList cells = {c.now.unit,
                                   QString::number(c.now.attempts),
                                   QString::number(c.now.misses),
                                   percent(c.now.missRate),
                                   c.now.wrongKey,
                                   changeText(c)};
        for (int col = 0; col < int(cells.size()); ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            if (col > 0 && col < 4)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tblWeakest_->setItem(r, col, item);
        }
    }
}

QStringList UnitMapView::listedRows() const {
    QStringList rows;
    for (int r = 0; r < tblWeakest_->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < tblWeakest_->columnCount(); ++c)
            cells << tblWeakest_->item(r, c)->text();
        rows << cells.join(u' ');
    }
    return rows;
}

} // namespace seiseki
