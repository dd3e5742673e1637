#include "LiveFeed.h"

#include "Live.h"

namespace seiseki {

LiveFeed::LiveFeed(const QString& uri, QObject* parent, bool todaysRuns) : QObject(parent) {
    // The listener's thread hands each record over; one that comes after the feed is gone is dropped.
    listener_ = std::make_unique<halvor::db::LiveListener>(
        uri,
        halvor::db::LiveListener::Callbacks{[this](const halvor::presence::Record& r) {
                                                QMetaObject::invokeMethod(
                                                    this, [this, r] { emit heard(r); }, Qt::QueuedConnection);
                                            },
                                            [this](halvor::db::Problem p, qint64 offset) {
                                                if (p == halvor::db::Problem::None)
                                                    offsetMs_ = offset;
                                                QMetaObject::invokeMethod(
                                                    this, [this, p] { emit state(p); }, Qt::QueuedConnection);
                                            }},
        todaysRuns);
}

LiveFeed::~LiveFeed() = default;

QDateTime LiveFeed::serverNow() const {
    return QDateTime::currentDateTimeUtc().addMSecs(offsetMs_);
}

} // namespace seiseki
