// Where the results database lies: one rule, kept by the Database library.
#include "Common.h"
#include "Database.h"

void CMN_GetMDBFilePath(QString& path) {
    path = DB_DefaultPath();
}
