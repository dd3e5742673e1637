// A program of the suite in miniature, for the process tests. It writes what it was started with, as the
// drills read it, to the file named by HALVOR_ECHO_OUT. With HALVOR_ECHO_RELAY set it first acts as a menu:
// it starts itself again through CMN_STDExecPGM2 with that argument and its own path as the caller.
#include "Common.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("HALVOR_ECHO_RELAY")) {
        const QString argument = qEnvironmentVariable("HALVOR_ECHO_RELAY");
        qunsetenv("HALVOR_ECHO_RELAY"); // the started copy must echo, not relay again
        const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        return CMN_STDExecPGM2(self + QStringLiteral(".exe"), argument, 1, nullptr) ? 0 : 1;
    }
    const QString out = qEnvironmentVariable("HALVOR_ECHO_OUT");
    if (out.isEmpty())
        return 2;
    const QString line = CMN_GetCommandLine();
    QJsonObject echo;
    echo[QStringLiteral("commandLine")] = line;
    echo[QStringLiteral("returnCommand")] = CMN_ReturnCommand(line);
    echo[QStringLiteral("arguments")] = QJsonArray::fromStringList(QCoreApplication::arguments());
    // Written whole or not at all: the test polls for the file.
    QSaveFile file(out);
    if (!file.open(QIODevice::WriteOnly))
        return 3;
    file.write(QJsonDocument(echo).toJson());
    return file.commit() ? 0 : 3;
}
