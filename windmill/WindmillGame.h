// The windmill drill's rules without any widget: the level, the keys of a run, the speed shown by the
// pinwheel and the needle, the passenger's frame and the end of a run. Time and randomness are injected.
#pragma once

#include "FingerRun.h"
#include "Random.h"

#include <QString>
#include <QStringList>

namespace halvor {

struct Finger {
    const char* keys;
    const char* name;
};
// The eight fingers that practise (thumbs do not), left little finger to right little finger.
extern const Finger FingerTable[8];

class WindmillGame {
public:
    // The run's arithmetic is shared with the window frame, which owns it.
    WindmillGame(FingerRun& run, Random& random) : run_(run), random_(random) {}

    // The level is the command line's last character; 0 or a non-digit gives 1.
    static int LevelFromCommandLine(const QString& commandLine);
    // Background bitmap by level: day, evening, night.
    static int BackgroundBitmap(int level);
    // Needle angle for a shown speed: -120 at 0, upright at 200, +120 at 400.
    static int NeedleAngle(double shownSpeed);

    void setLevel(int level) { level_ = level; }
    int level() const { return level_; }

    // The keys of a run and their finger names, by level.
    QString ChooseKeys();
    const QStringList& fingerNames() const { return fingerNames_; }

    // A new run on the chosen keys (the run is started by its owner).
    void start();
    // One frame: speed, shown speed, angles, passenger. Returns true when the run has reached its time.
    bool frameTick();
    bool timeIsUp() const;

    FingerRun& run() { return run_; }
    const FingerRun& run() const { return run_; }
    double shownSpeed() const { return shownSpeed_; }
    int windmillAngle() const { return windmillAngle_; }
    int needleAngle() const { return needleAngle_; }
    const FrameAlternator& passenger() const { return passenger_; }
    FrameAlternator& passenger() { return passenger_; }

private:
    int fingerKey(int finger, QString& keys);

    FingerRun& run_;
    Random& random_;
    int level_ = 1;
    QStringList fingerNames_;
    double shownSpeed_ = 0;
    int windmillAngle_ = 0;
    int needleAngle_ = -120;
    FrameAlternator passenger_;
};

} // namespace halvor
