// Stands in for a drill: gives the command line it was started with, rebuilt the way every drill reads
// it, on standard output, and appends it as one line to the file $HALVOR_PROBE_LOG when that is set.
#include "Common.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QByteArray line = CMN_GetCommandLine().toUtf8();
    std::fputs(line.constData(), stdout);
    const QString log = qEnvironmentVariable("HALVOR_PROBE_LOG");
    if (!log.isEmpty()) {
        QFile file(log);
        if (!file.open(QIODevice::Append))
            return 1;
        file.write(line + '\n');
    }
    return 0;
}
