// What a program of the suite does as it starts, above Common and Database, which know nothing of each
// other: Common's set-up, the learner after every caption on a shared computer, and, once the first frame
// is up, the runs kept on this computer written into its file and sent to the school's server.
#pragma once

// Called once by every program's main after the QApplication exists, in place of CMN_InitApplication.
void HalvorInitApplication();
// The learner's name after every caption on a shared computer (part of the above).
void HalvorShowLearnerInCaptions();
