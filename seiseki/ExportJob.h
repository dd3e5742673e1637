// An export written away from the window's thread: the window stays alive, shows how far it is and may stop
// it. The work reports its progress through the job and returns what the teacher reads when it is done.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class QThread;

namespace seiseki {

class ExportJob : public QObject {
    Q_OBJECT
public:
    // Runs on the worker: true on success; *message is what the teacher reads either way.
    using Work = std::function<bool(ExportJob& job, QString* message)>;
    ExportJob(Work work, QObject* parent = nullptr);
    ~ExportJob() override; // stops the work and waits for it

    void start();
    void cancel() { cancelled_ = true; }
    bool cancelled() const { return cancelled_; }
    // From the work: how far it is; false once the teacher has stopped it.
    bool report(qsizetype done, qsizetype total);
    qsizetype done() const { return done_; }
    qsizetype total() const { return total_; }

signals:
    void finished(bool ok, const QString& message);

private:
    Work work_;
    QThread* thread_ = nullptr;
    std::atomic<qsizetype> done_{0};
    std::atomic<qsizetype> total_{0};
    std::atomic<bool> cancelled_{false};
    bool ok_ = false;
    QString message_;
    int atExit_ = 0;
};

} // namespace seiseki
