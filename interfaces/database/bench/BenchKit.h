// What the database and results-viewer benchmarks share: medians, and a throwaway PostgreSQL cluster.
// The including target defines HALVOR_PG_CLUSTER, the path of tools/pg-test-cluster.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>

#include <algorithm>
#include <functional>
#include <vector>

namespace halvor::bench {

inline double medianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

#ifdef HALVOR_PG_CLUSTER
// A cluster in <folder>/pg, listening only on a socket there; stopped when this goes.
class ThrowawayCluster {
public:
    explicit ThrowawayCluster(const QString& folder) : path_(folder + QStringLiteral("/pg")) {
        started_ =
            QProcess::execute(QStringLiteral(HALVOR_PG_CLUSTER), {QStringLiteral("start"), path_}) == 0;
    }
    ~ThrowawayCluster() {
        if (started_)
            QProcess::execute(QStringLiteral(HALVOR_PG_CLUSTER), {QStringLiteral("stop"), path_});
    }
    ThrowawayCluster(const ThrowawayCluster&) = delete;
    ThrowawayCluster& operator=(const ThrowawayCluster&) = delete;
    bool started() const { return started_; }
    const QString& path() const { return path_; } // the socket's folder
private:
    QString path_;
    bool started_ = false;
};
#endif

} // namespace halvor::bench
