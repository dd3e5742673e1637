// Stands in for a drill: prints the command line it was given, rebuilt the way every drill reads it.
#include "Common.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    std::fputs(CMN_GetCommandLine().toUtf8().constData(), stdout);
    return 0;
}
