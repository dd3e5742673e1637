// Presence through the school's server: a program's reports go through the server's function halvor_report,
// and a viewer hears every change and every run that lands (LISTEN halvor_live). An announcement names a row
// only; the viewer reads the row itself, so an announcement that anyone may send forges nothing.
#pragma once

#include "AtExit.h"
#include "Database.h"
#include "Presence.h"
#include "Reporter.h"

#include <functional>
#include <memory>

namespace halvor::db {

// How long one report may take before it is cut off: the next one says the same, newer.
constexpr int kReportBoundMs = 3000;

// Sends reports to the server at `uri` on one connection, made and kept by the reporter's thread.
std::unique_ptr<presence::Transport> presenceTransport(const QString& uri);

// Hears the classroom on a thread of its own that holds one connection and waits on its socket: first every
// presence row of the last minutes (a viewer that starts late), then each change and each run as it is
// announced. A connection that is lost or stops answering (a statement every few seconds of silence tells)
// is made again, and the rows are read again.
class LiveListener {
public:
    struct Callbacks {
        // Each record heard; on the listener's thread.
        std::function<void(const presence::Record&)> heard;
        // The listener hears the server (Problem::None), or why it does not; on the listener's thread. While
        // it hears, `clockOffsetMs` is how far the server's clock is ahead of this computer's, as the
        // records' times are the server's.
        std::function<void(Problem problem, qint64 clockOffsetMs)> state;
    };
    // With `todaysRuns`, the runs that landed earlier today are read with the rows, for a lesson's summary.
    LiveListener(const QString& uri, Callbacks callbacks, bool todaysRuns = false);
    // Stops at once, cutting off a round trip or a connection under way: it never waits two seconds. Also
    // stopped when the process ends by exit().
    ~LiveListener();
    LiveListener(const LiveListener&) = delete;
    LiveListener& operator=(const LiveListener&) = delete;

private:
    struct Private;
    std::shared_ptr<Private> d; // shared with the thread, which may outlive the listener
};

} // namespace halvor::db
