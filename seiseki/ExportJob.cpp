#include "ExportJob.h"

#include <QThread>

namespace seiseki {

ExportJob::ExportJob(Work work, QObject* parent) : QObject(parent), work_(std::move(work)) {}

ExportJob::~ExportJob() {
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
}

bool ExportJob::report(qsizetype done, qsizetype total) {
    done_ = done;
    total_ = total;
    return !cancelled_;
}

} // namespace seiseki
