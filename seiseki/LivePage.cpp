#include "LivePage.h"

#include "Common.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace seiseki {

namespace {

constexpr int kGap = 10;
const QString kFace = QStringLiteral("ＭＳ Ｐゴシック");

struct Look {
    QColor fill;
    QColor border;
    QColor chip;
    QColor chipText;
    QColor text;
};

Look lookOf(TileState state) {
    const QColor navy(0x2b, 0x3a, 0x67);
    switch (state) {
    case TileState::Practising:
        return {Qt::white, QColor(0x3a, 0x9d, 0x5d), QColor(0xe3, 0xf4, 0xe8), QColor(0x1e, 0x6b, 0x3a),
                navy};
    case TileState::Idle:
        return {QColor(0xff, 0xf4, 0xd6), QColor(0xe0, 0xa0, 0x20), QColor(0xf5, 0xb4, 0x00),
                QColor(0x4a, 0x30, 0x00), navy};
    case TileState::Ended:
        return {QColor(0xf4, 0xf4, 0xf4), QColor(0xc8, 0xc8, 0xc8), QColor(0xe2, 0xe2, 0xe2),
                QColor(0x55, 0x55, 0x55), QColor(0x66, 0x66, 0x66)};
    case TileState::Stale:
        return {QColor(0xec, 0xec, 0xec), QColor(0x9a, 0x9a, 0x9a), QColor(0xd6, 0xd6, 0xd6),
                QColor(0x44, 0x44, 0x44), QColor(0x66, 0x66, 0x66)};
    case TileState::Ready:
        break;
    }
    return {Qt::white, QColor(0x9a, 0xa5, 0xc4), QColor(0xee, 0xf1, 0xf8), navy, navy};
}

// A rounded label drawn at (x, y); its width.
int chip(QPainter& p, int x, int y, int height, const QString& text, const QColor& fill, const QColor& ink) {
    const int pad = height / 3;
    const int width = p.fontMetrics().horizontalAdvance(text) + 2 * pad;
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(x, y, width, height), height / 2.0, height / 2.0);
    p.setPen(ink);
    p.drawText(QRect(x, y, width, height), Qt::AlignCenter, text);
    return width;
}

void line(QPainter& p, const QRect& r, const QString& text,
          Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    p.drawText(r, align, p.fontMetrics().elidedText(text, Qt::ElideRight, r.width()));
}

} // namespace

// ---- The board

TileBoard::TileBoard(const LiveClass& live, std::function<QDateTime()> now, QWidget* parent)
    : QWidget(parent), live_(live), now_(std::move(now)) {
    setObjectName(QStringLiteral("boardLive"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void TileBoard::setProjector(bool on) {
    if (projector_ == on)
        return;
    projector_ = on;
    views_.clear();
    order_.clear();
    refresh();
}

QSize TileBoard::tileSize() const {
    return projector_ ? QSize(260, 150) : QSize(216, 122);
}

int TileBoard::columns(int width) const {
    return std::max(1, (width - kGap) / (tileSize().width() + kGap));
}

QRect TileBoard::tileRect(int index) const {
    const int cols = columns(width());
    const QSize size = tileSize();
    return {kGap + (index % cols) * (size.width() + kGap), kGap + (index / cols) * (size.height() + kGap),
            size.width(), size.height()};
}

int TileBoard::heightForWidth(int width) const {
    const int cols = columns(width);
    const int rows = std::max<int>(1, (static_cast<int>(order_.size()) + cols - 1) / cols);
    return kGap + rows * (tileSize().height() + kGap);
}

QSize TileBoard::sizeHint() const {
    const int width = 5 * (tileSize().width() + kGap) + kGap;
    return {width, heightForWidth(width)};
}

void TileBoard::refresh() {
    const QDateTime now = now_();
    const QStringList order = live_.order();
    if (order != order_) {
        order_ = order;
        views_.clear();
        for (const QString& key : std::as_const(order_))
            views_.insert(key, live_.view(*live_.tile(key), now, projector_));
        updateGeometry();
        update();
        return;
    }
    for (int i = 0; i < order_.size(); ++i) {
        const TileView v = live_.view(*live_.tile(order_[i]), now, projector_);
        TileView& shown = views_[order_[i]];
        if (!(v == shown)) {
            shown = v;
            update(tileRect(i));
        }
    }
}

void TileBoard::refresh(const QString& key) {
    const qsizetype index = order_.indexOf(key);
    const Tile* tile = live_.tile(key);
    if (index < 0 || !tile) {
        refresh();
        return;
    }
    const TileView v = live_.view(*tile, now_(), projector_);
    TileView& shown = views_[key];
    if (!(v == shown)) {
        shown = v;
        update(tileRect(static_cast<int>(index)));
    }
}

void TileBoard::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    update();
}

void TileBoard::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), QColor(0xf7, 0xf8, 0xfb));
    p.setRenderHint(QPainter::Antialiasing);
    if (order_.isEmpty()) {
        p.setPen(QColor(0x2b, 0x3a, 0x67));
        p.setFont(CMN_Font(kFace, 12));
        p.drawText(rect().adjusted(kGap, kGap, -kGap, -kGap), Qt::AlignCenter | Qt::TextWordWrap,
                   QStringLiteral("いまは れんしゅうして いる コンピューターが ありません。\n"
                                  "プログラムが はじまると ここに でます。"));
        return;
    }
    for (int i = 0; i < order_.size(); ++i) {
        const QRect r = tileRect(i);
        if (!event->region().intersects(r))
            continue;
        paintTile(p, r, views_.value(order_[i]));
        emit painted(order_[i]);
    }
}

void TileBoard::paintTile(QPainter& p, const QRect& r, const TileView& v) const {
    const Look look = lookOf(v.state);
    const double k = projector_ ? 1.25 : 1.0;
    const auto px = [k](double size) { return static_cast<int>(size * k); };
    p.setPen(QPen(look.border, v.state == TileState::Idle ? 3 : 2,
                  v.state == TileState::Stale ? Qt::DashLine : Qt::SolidLine));
    p.setBrush(look.fill);
    p.drawRoundedRect(QRectF(r).adjusted(1.5, 1.5, -1.5, -1.5), 8, 8);
    if (v.manyMistakes) {
        QPainterPath stripe;
        stripe.addRoundedRect(QRectF(r.left() + 2, r.top() + 2, 7, r.height() - 4), 3, 3);
        p.fillPath(stripe, QColor(0xd9, 0x3a, 0x2b));
    }
    const QRect inner = r.adjusted(14, 8, -10, -6);
    int y = inner.top();
    // The name (or the roster's number) and the time on task.
    p.setPen(look.text);
    p.setFont(CMN_Font(kFace, projector_ ? 24 : 13, true));
    const int nameHeight = p.fontMetrics().height();
    p.setFont(CMN_Font(kFace, 9 * k));
    const int timeWidth = p.fontMetrics().horizontalAdvance(v.time) + 4;
    line(p, QRect(inner.right() - timeWidth, y, timeWidth, nameHeight), v.time,
         Qt::AlignRight | Qt::AlignVCenter);
    p.setFont(CMN_Font(kFace, projector_ ? 24 : 13, true));
    line(p, QRect(inner.left(), y, inner.width() - timeWidth - 6, nameHeight), v.name);
    y += nameHeight + px(2);
    p.setFont(CMN_Font(kFace, 9.5 * k));
    const int textHeight = p.fontMetrics().height();
    line(p, QRect(inner.left(), y, inner.width(), textHeight), v.activity);
    y += textHeight + px(4);
    // The state, and the mistakes beside it.
    p.setFont(CMN_Font(kFace, 9 * k, true));
    const int chipHeight = p.fontMetrics().height() + px(4);
    int x = inner.left();
    x += chip(p, x, y, chipHeight, v.status, look.chip, look.chipText) + 6;
    if (v.manyMistakes)
        chip(p, x, y, chipHeight, QStringLiteral("まちがいが おおい"), QColor(0xfd, 0xe2, 0xe0),
             QColor(0xb3, 0x26, 0x1e));
    y += chipHeight + px(4);
    p.setFont(CMN_Font(kFace, 9.5 * k));
    p.setPen(look.text);
    if (!v.figures.isEmpty())
        line(p, QRect(inner.left(), y, inner.width(), textHeight), v.figures);
    y += textHeight + px(1);
    p.setFont(CMN_Font(kFace, 8.5 * k));
    p.setPen(v.state == TileState::Ended || v.state == TileState::Stale ? look.text
                                                                        : QColor(0x55, 0x60, 0x80));
    if (!v.last.isEmpty() && y + p.fontMetrics().height() <= r.bottom())
        line(p, QRect(inner.left(), y, inner.width(), p.fontMetrics().height()), v.last);
}

// ---- The page

LivePage::LivePage(std::function<QDateTime()> now, QWidget* parent) : QWidget(parent), now_(std::move(now)) {
    setObjectName(QStringLiteral("pageLive"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    auto* bar = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("いまの ようす"), this);
    title->setFont(CMN_Font(kFace, 13, true));
    lblCount_ = new QLabel(this);
    lblCount_->setObjectName(QStringLiteral("lblLiveCount"));
    lblCount_->setMinimumWidth(lblCount_->fontMetrics().horizontalAdvance(QStringLiteral("000台")));
    lblListening_ = new QLabel(this);
    lblListening_->setObjectName(QStringLiteral("lblListening"));
    lblListening_->setWordWrap(true);
    cmdProjector_ = new QPushButton(QStringLiteral("プロジェクター (名前を かくす)"), this);
    cmdProjector_->setObjectName(QStringLiteral("cmdProjector"));
    cmdProjector_->setCheckable(true);
    connect(cmdProjector_, &QPushButton::toggled, this, &LivePage::setProjector);
    cmdSummary_ = new QPushButton(QStringLiteral("じゅぎょうの まとめ"), this);
    cmdSummary_->setObjectName(QStringLiteral("cmdSummary"));
    cmdSummary_->setCheckable(true);
    connect(cmdSummary_, &QPushButton::toggled, this, &LivePage::showSummary);
    bar->addWidget(title);
    bar->addWidget(lblCount_);
    bar->addWidget(lblListening_, 1);
    bar->addWidget(cmdProjector_);
    bar->addWidget(cmdSummary_);
    layout->addLayout(bar);

    board_ = new TileBoard(live_, now_, this);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("scrollLive"));
    scroll_->setWidget(board_);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    tblSummary_ = new QTableWidget(0, 6, this);
    tblSummary_->setObjectName(QStringLiteral("tblSummary"));
    tblSummary_->setHorizontalHeaderLabels({QStringLiteral("番号"), QStringLiteral("名前"),
                                            QStringLiteral("やった こと"), QStringLiteral("じかん"),
                                            QStringLiteral("回数"), QStringLiteral("きょうの いちばん")});
    tblSummary_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblSummary_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblSummary_->setAlternatingRowColors(true);
    tblSummary_->setWordWrap(true);
    tblSummary_->verticalHeader()->hide();
    tblSummary_->horizontalHeader()->setStretchLastSection(true);
    stack_ = new QStackedWidget(this);
    stack_->addWidget(scroll_);
    stack_->addWidget(tblSummary_);
    layout->addWidget(stack_, 1);

    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &LivePage::tick);
    timer_->start();
    setListening(false);
    tick();
}

void LivePage::setRoster(const QList<RosterEntry>& roster) {
    live_.setRoster(roster);
    board_->refresh();
    if (stack_->currentWidget() == tblSummary_)
        fillSummary();
}

void LivePage::apply(const halvor::presence::Record& record) {
    const QString key = live_.apply(record, now_());
    if (key.isEmpty())
        return;
    board_->refresh(key);
    lblCount_->setText(QStringLiteral("%1台").arg(live_.order().size()));
    if (record.event == halvor::presence::Event::Run && stack_->currentWidget() == tblSummary_)
        fillSummary();
}

void LivePage::setListening(bool listening, const QString& text) {
    lblListening_->setText(listening ? QStringLiteral("● いま うごいて います")
                                     : (text.isEmpty() ? QStringLiteral("サーバーを まって います…") : text));
    lblListening_->setStyleSheet(listening ? QStringLiteral("color: #1e6b3a;")
                                           : QStringLiteral("color: #b3261e;"));
}

void LivePage::setProjector(bool on) {
    if (cmdProjector_->isChecked() != on)
        cmdProjector_->setChecked(on);
    board_->setProjector(on);
    if (stack_->currentWidget() == tblSummary_)
        fillSummary();
}

void LivePage::showSummary(bool on) {
    if (cmdSummary_->isChecked() != on)
        cmdSummary_->setChecked(on);
    if (on)
        fillSummary();
    stack_->setCurrentWidget(on ? static_cast<QWidget*>(tblSummary_) : scroll_);
}

void LivePage::tick() {
    live_.tick(now_());
    board_->refresh();
    lblCount_->setText(QStringLiteral("%1台").arg(live_.order().size()));
    if (stack_->currentWidget() == tblSummary_)
        fillSummary();
}

void LivePage::fillSummary() {
    const QList<SummaryLine> lines = live_.summary(now_());
    const bool projector = board_->projector();
    tblSummary_->setColumnHidden(1, projector);
    tblSummary_->setRowCount(static_cast<int>(lines.size()));
    for (int row = 0; row < lines.size(); ++row) {
        const SummaryLine& l = lines[row];
        const QStringList cells{l.number ? QString::number(*l.number) : QString(),
                                projector ? QString() : l.learner,
                                l.practised.isEmpty() ? QStringLiteral("—")
                                                      : l.practised.join(QStringLiteral("、")),
                                l.seconds > 0 ? durationText(l.seconds) : QStringLiteral("—"),
                                QString::number(l.runs),
                                l.best.join(QLatin1Char('\n'))};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column == 0 || column == 3 || column == 4)
                item->setTextAlignment(Qt::AlignCenter);
            tblSummary_->setItem(row, column, item);
        }
    }
    tblSummary_->resizeColumnsToContents();
    tblSummary_->resizeRowsToContents();
}

} // namespace seiseki
