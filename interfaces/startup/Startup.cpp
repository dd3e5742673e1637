#include "Startup.h"

#include "Common.h"
#include "Database.h"

void HalvorShowLearnerInCaptions() {
    CMN_SetCaptionSuffix([] { return DB_SharedComputer() ? DB_Learner() : QString(); });
}

void HalvorInitApplication() {
    CMN_InitApplication();
    HalvorShowLearnerInCaptions();
    // Runs kept on this computer (beside its file, or for the school's server) go once the window is up.
    CMN_AfterFirstFrame(DB_StartOutboxSend);
}
