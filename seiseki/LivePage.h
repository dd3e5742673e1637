// The live page "いまの ようす": a board of tiles, one per computer, drawn by one widget that repaints only
// the tiles whose view changed; projector mode (numbers from the roster instead of names, larger type); and
// the lesson's summary. It is told what the classroom reports (apply) and reads nothing itself.
#pragma once

#include "LiveClass.h"

#include <QHash>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QTableWidget;
class QTimer;

namespace seiseki {

class TileBoard : public QWidget {
    Q_OBJECT
public:
    TileBoard(const LiveClass& live, std::function<QDateTime()> now, QWidget* parent = nullptr);
    void setProjector(bool on);
    bool projector() const { return projector_; }
    // Looks at every tile again: repaints those whose view changed, all of them when tiles came or went.
    void refresh();
    // Repaints the tile of `key` when its view changed.
    void refresh(const QString& key);
    QRect tileRect(int index) const;
    QSize tileSize() const;
    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    // Each tile as it was last painted (tests, the benchmark).
    const QHash<QString, TileView>& views() const { return views_; }

signals:
    // A tile was painted with its current view.
    void painted(const QString& key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int columns(int width) const;
    void paintTile(QPainter& p, const QRect& r, const TileView& v) const;

    const LiveClass& live_;
    std::function<QDateTime()> now_;
    bool projector_ = false;
    QStringList order_;
    QHash<QString, TileView> views_;
};

class LivePage : public QWidget {
    Q_OBJECT
public:
    // `now` is the time in the server's clock, as the records carry it.
    explicit LivePage(std::function<QDateTime()> now, QWidget* parent = nullptr);

    void setRoster(const QList<RosterEntry>& roster);
    // A record heard from the server.
    void apply(const halvor::presence::Record& record);
    // Whether the page hears the server; `text` says why not.
    void setListening(bool listening, const QString& text = {});
    void setProjector(bool on);
    void showSummary(bool on);
    // Time passed (the page's own timer calls it every second).
    void tick();

    const LiveClass& live() const { return live_; }
    TileBoard* board() const { return board_; }

private:
    void fillSummary();

    std::function<QDateTime()> now_;
    LiveClass live_;
    TileBoard* board_ = nullptr;
    QLabel* lblListening_ = nullptr;
    QLabel* lblCount_ = nullptr;
    QPushButton* cmdProjector_ = nullptr;
    QPushButton* cmdSummary_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QTableWidget* tblSummary_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace seiseki
