// The program's start: the exports and the class list import of the command line without a window, else the
// window.
#pragma once

class QCoreApplication;

namespace seiseki {

int run(int argc, char* argv[]);
// Qt's own Japanese texts for its dialogs and buttons; false when they are not installed.
bool loadQtTranslations(QCoreApplication& app);

} // namespace seiseki
