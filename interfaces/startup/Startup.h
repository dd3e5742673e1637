// What a program of the suite does as it starts, above Common and Database, which know nothing of each
// other: Common's set-up, the learner after every caption on a shared computer, and, once the first frame
// is up, the runs kept on this computer written into its file and sent to the school's server, and a drill's
// or lesson's reports of who is practising on it.
#pragma once

#include <QString>

// Called once by every program's main after the QApplication exists, in place of CMN_InitApplication.
void HalvorInitApplication();
// The learner's name after every caption on a shared computer (part of the above).
void HalvorShowLearnerInCaptions();
// Reports who is practising in this program (or as `program`, by its executable's name) to the server at
// `path` until the program ends (part of the above); nothing for a file, or for a program that is no drill or
// lesson.
void HalvorStartPresence(const QString& path, const QString& program = QString());
