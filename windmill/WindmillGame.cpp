#include "WindmillGame.h"

#include <algorithm>
#include <cstring>

namespace halvor {

const Finger FingerTable[8] = {
    {"qaz", "左手小指"},      {"wsx", "左手薬指"}, {"edc", "左手中指"}, {"rfvtgb", "左手人差指"},
    {"yhnujm", "右手人差指"}, {"ik,", "右手中指"}, {"ol.", "右手薬指"}, {"p;/", "右手小指"},
};

int WindmillGame::LevelFromCommandLine(const QString& commandLine) {
    const int level = CourseNumber(commandLine, 1);
    return level == 0 ? 1 : level;
}

int WindmillGame::BackgroundBitmap(int level) {
    if (level >= 6)
        return 141;
    if (level >= 4)
        return 140;
    return 139;
}

int WindmillGame::NeedleAngle(double shownSpeed) {
    // The factor is the double just above 0.6 on purpose: 100 gives -59, as the dial was drawn for.
    return static_cast<int>(shownSpeed * 0.6000000000000001 - 120.0);
}

int WindmillGame::fingerKey(int finger, QString& keys) {
    const char* set = FingerTable[finger].keys;
    const int n = static_cast<int>(std::strlen(set));
    keys.append(QChar::fromLatin1(set[random_.next() % n]));
    fingerNames_.append(QString::fromUtf8(FingerTable[finger].name));
    return finger;
}

QString WindmillGame::ChooseKeys() {
    QString keys;
    fingerNames_.clear();
    auto dropLast = [&] {
        keys.chop(1);
        fingerNames_.removeLast();
    };
    switch (level_) {
    case 2: { // two keys of one finger
        const int f = random_.next() % 8;
        fingerKey(f, keys);
        do {
            if (keys.size() == 2)
                dropLast();
            fingerKey(f, keys);
        } while (keys[1] == keys[0]);
        break;
    }
    case 3: { // the index finger with another finger of the same hand
        const int h = random_.next() % 2;
        fingerKey(3 + h, keys);
        fingerKey(5 * h + random_.next() % 3, keys);
        break;
    }
    case 4: { // the middle finger with another finger of the same hand
        const int h = random_.next() % 2;
        fingerKey(2 + 3 * h, keys);
        do {
            if (keys.size() == 2)
                dropLast();
            int d;
            do
                d = random_.next() % 4;
            while (d == 1);
            fingerKey(d + 4 * h, keys);
        } while (keys[1] == keys[0]);
        break;
    }
    case 5:
    case 6:
    case 7: { // two to four keys, every one of another finger
        const int count = level_ - 3;
        while (keys.size() < count) {
            fingerKey(random_.next() % 8, keys);
            if (fingerNames_.indexOf(fingerNames_.last()) != fingerNames_.size() - 1)
                dropLast();
        }
        break;
    }
    default:
        fingerKey(random_.next() % 8, keys);
        break;
    }
    return keys;
}

void WindmillGame::start() {
    shownSpeed_ = 0;
}

bool WindmillGame::frameTick() {
    run_.updateSpeed();
    const double current = run_.currentSpeed();
    if (current < shownSpeed_) {
        shownSpeed_ -= 2.0;
        if (shownSpeed_ < current)
            shownSpeed_ = current;
    } else {
        shownSpeed_ += 2.0;
        if (shownSpeed_ > current)
            shownSpeed_ = current;
    }
    shownSpeed_ = std::clamp(shownSpeed_, 0.0, 400.0);
    windmillAngle_ = (windmillAngle_ + static_cast<int>(shownSpeed_) / 10) % 360;
    needleAngle_ = NeedleAngle(shownSpeed_);
    passenger_.tick();
    return timeIsUp();
}

bool WindmillGame::timeIsUp() const {
    const unsigned t = run_.elapsedSeconds();
    return run_.keyCount() == 1 ? t >= 30 : t >= 60;
}

} // namespace halvor
