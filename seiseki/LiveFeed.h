// What the live page and `Seiseki --watch` hear of the classroom: the server's announcements, delivered on
// the thread of the feed's owner, and the time in the server's clock, which the records' times are in.
#pragma once

#include "Database.h"
#include "Presence.h"

#include <QDateTime>
#include <QObject>
#include <atomic>
#include <memory>

namespace halvor::db {
class LiveListener;
}

namespace seiseki {

class LiveFeed : public QObject {
    Q_OBJECT
public:
    // `todaysRuns`: the runs that landed earlier today are heard too as it starts (the lesson's summary).
    explicit LiveFeed(const QString& uri, QObject* parent = nullptr, bool todaysRuns = false);
    ~LiveFeed() override;
    QDateTime serverNow() const;

signals:
    void heard(const halvor::presence::Record& record);
    // Problem::None: the feed hears the server; else why not (it tries again by itself).
    void state(halvor::db::Problem problem);

private:
    std::atomic<qint64> offsetMs_{0};
    std::unique_ptr<halvor::db::LiveListener> listener_;
};

} // namespace seiseki
