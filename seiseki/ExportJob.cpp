#include "ExportJob.h"

#include "AtExit.h"

#include <QThread>

namespace seiseki {

namespace {
// The work reports between rows and pages, so it sees a stop within this.
constexpr int kStopMs = 1500;
} // namespace

ExportJob::ExportJob(Work work, QObject* parent) : QObject(parent), work_(std::move(work)) {}

ExportJob::~ExportJob() {
    halvor::db::forgetAtExit(atExit_);
    if (thread_) {
        cancel();
        thread_->disconnect(this);
        thread_->wait();
        delete thread_;
    }
}

void ExportJob::start() {
    thread_ = QThread::create([this] { ok_ = work_(*this, &message_); });
    connect(thread_, &QThread::finished, this, [this] { emit finished(ok_, message_); });
    thread_->start();
    // A program ended by exit() (a lost display) destroys no window: the work is stopped before the statics
    // of what it reads go. What it wrote is not committed, so no half file is left.
    atExit_ = halvor::db::endAtExit([this] {
        cancel();
        return thread_->wait(QDeadlineTimer(kStopMs));
    });
}

bool ExportJob::report(qsizetype done, qsizetype total) {
    done_ = done;
    total_ = total;
    return !cancelled_;
}

} // namespace seiseki
