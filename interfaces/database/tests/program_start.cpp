// What every program of the suite does as it starts, and nothing more: the runs waiting for the server are
// sent on the save queue's thread, and the program ends once they are.
#include "Database.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    DB_StartOutboxSend();
    return 0;
}
