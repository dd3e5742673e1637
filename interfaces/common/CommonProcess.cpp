// Starting the suite's programs and reading the command line they were given.
//
// The programs pass their return path in the quoted form "program" "return path" argument and find it by
// its third double quote, so the command line is rebuilt from argv in exactly that form.
#include "Common.h"
#include "CommonDetail.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>

namespace {

Q_LOGGING_CATEGORY(lcProcess, "halvor.process", QtInfoMsg)

bool startDetached(const QString& program, const QStringList& arguments) {
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable()) {
        qCWarning(lcProcess) << "cannot start" << program << "(no such executable)";
        return false;
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    // Full screen is the suite's state, not one window's: the next program opens as this one is shown.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (cmn_detail::suiteFullScreen())
        environment.insert(QString::fromLatin1(cmn_detail::kFullScreenVariable), QStringLiteral("1"));
    else
        environment.remove(QString::fromLatin1(cmn_detail::kFullScreenVariable));
    process.setProcessEnvironment(environment);
    if (!process.startDetached()) {
        qCWarning(lcProcess) << "failed to start" << program;
        return false;
    }
    qCInfo(lcProcess) << "started" << program << arguments;
    return true;
}

CMN_Launcher& launcher() {
    static CMN_Launcher current = startDetached;
    return current;
}

QString withoutExe(const QString& name) {
    if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        return name.chopped(4);
    return name;
}

} // namespace

void CMN_SetLauncher(CMN_Launcher replacement) {
    launcher() = replacement ? std::move(replacement) : CMN_Launcher(startDetached);
}

QString CMN_ProgramPath(const QString& file) {
    // Only the base name counts: a caller cannot reach outside the suite's folder with "../".
    const QString name = withoutExe(QFileInfo(file.trimmed()).fileName());
    if (name.isEmpty())
        return {};
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

int CMN_STDExecPGM2(const QString& file, const QString& argument, int passCaller, QWidget* window) {
    Q_UNUSED(window);
    const QString program = CMN_ProgramPath(file);
    if (program.isEmpty()) {
        qCWarning(lcProcess) << "no program named in" << file;
        return 0;
    }
    QStringList arguments;
    if (passCaller != 0)
        arguments << QCoreApplication::applicationFilePath() << argument; // argument may be empty: kept
    else if (!argument.isEmpty())
        arguments << argument;
    return launcher()(program, arguments) ? 1 : 0;
}

int CMN_ExecPGM2(const QString& command, int, int, QWidget* window) {
    Q_UNUSED(window);
    QStringList tokens = QProcess::splitCommand(command);
    if (tokens.isEmpty()) {
        qCWarning(lcProcess) << "empty command line; nothing started";
        return 0;
    }
    QString program = tokens.takeFirst();
    // A bare name is one of the suite's programs, found next to the running one (never in the working
    // folder).
    if (!program.contains(QLatin1Char('/')))
        program = CMN_ProgramPath(program);
    else if (!QFileInfo::exists(program))
        program = withoutExe(program);
    return launcher()(program, tokens) ? 1 : 0;
}

namespace {

QString commandLineOf(const QStringList& args) {
    if (args.isEmpty())
        return {};
    QString line = QLatin1Char('"') + args.at(0) + QLatin1Char('"');
    if (args.size() > 1)
        line += QLatin1String(" \"") + args.at(1) + QLatin1Char('"');
    for (qsizetype i = 2; i < args.size(); ++i)
        line += QLatin1Char(' ') + args.at(i);
    return line;
}

} // namespace

QString CMN_GetCommandLine() {
    return commandLineOf(QCoreApplication::arguments());
}

QString CMN_CommandLineOf(int argc, char* argv[]) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return commandLineOf(args);
}

QString CMN_ReturnCommand(const QString& commandLine) {
    qsizetype quote = -1;
    for (int seen = 0; seen < 3; ++seen) {
        quote = commandLine.indexOf(QLatin1Char('"'), quote + 1);
        if (quote < 0)
            return {};
    }
    const qsizetype closing = commandLine.indexOf(QLatin1Char('"'), quote + 1);
    return closing < 0 ? commandLine.mid(quote) : commandLine.mid(quote, closing - quote + 1);
}
