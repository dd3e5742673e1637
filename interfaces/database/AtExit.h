// The end of the threads that the library and the programs keep, however the program ends: return from main,
// exit() (as Qt ends a program whose display is lost: no destructor of its objects runs then), or the
// application object going. What is registered here runs then, once, side by side, before the static objects
// those threads use (Qt SQL's connection registry and drivers, libpq, the log category) are destroyed.
#pragma once

#include <functional>

namespace halvor::db {

// Runs `stop` at the program's end; `forgetAtExit` once what it stops has ended by itself.
int stopAtExit(std::function<void()> stop);
// As stopAtExit, for a stop that says whether its threads ended in time: when one did not, the process ends
// at once after the other stops, as the statics it uses would be destroyed under it.
int endAtExit(std::function<bool()> stop);
void forgetAtExit(int id);

// Each call puts the stops ahead of the destructors of the statics made until now (a thread's first job, a
// library's first use): exit's handlers run in the reverse order of their registration.
void stopBeforeTheStaticsMadeSoFar();

// Ends the program at once, without waiting for any thread: what a thread holds of the local file is safe
// (SQLite rolls back what was not committed), and the server drops a connection that goes.
[[noreturn]] void endProgramNow();

} // namespace halvor::db
