#include "WavSynth.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <sstream>

using namespace wavsynth;

namespace {

bool parse(const std::string& text, Score& score, std::string& error) {
    std::istringstream in(text);
    return parseScore(in, "x.notes", score, error);
}

std::uint32_t read32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

std::uint16_t read16(const std::string& s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      (static_cast<unsigned char>(s[at + 1]) << 8));
}

double rms(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

} // namespace

class TestWavSynth : public QObject {
    Q_OBJECT
private slots:
    void pitches_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("hz");
        QTest::newRow("A4") << "A4" << 440.0;
        QTest::newRow("C4") << "C4" << 261.626;
        QTest::newRow("F#4") << "F#4" << 369.994;
        QTest::newRow("Bb3") << "Bb3" << 233.082;
        QTest::newRow("lower-case c5") << "c5" << 523.251;
        QTest::newRow("no octave") << "C" << -1.0;
        QTest::newRow("bad letter") << "H4" << -1.0;
        QTest::newRow("trailing junk") << "C4x" << -1.0;
        QTest::newRow("octave too high") << "C12" << -1.0;
    }
    void pitches() {
        QFETCH(QString, text);
        QFETCH(double, hz);
        const double got = pitchFrequency(text.toStdString());
        if (hz < 0)
            QVERIFY(got < 0);
        else
            QVERIFY2(std::abs(got - hz) < 0.01, qPrintable(QString::number(got)));
    }

    void parsesFullScore() {
        Score s;
        std::string error;
        QVERIFY2(parse("# tune\n"
                       "length 9.19\n"
                       "tempo 90   # slow\n"
                       "gain 0.5\n"
                       "loop\n"
                       "voice melody square 0.5 5 120\n"
                       "voice bass triangle 0.3\n"
                       "melody: C5/1 E5/0.5 G5/0.5 R/1 C5+E5+G5/2\n"
                       "melody: F#4/0.25\n"
                       "bass:C3/4\n",
                       s, error),
                 error.c_str());
        QCOMPARE(s.length, 9.19);
        QCOMPARE(s.tempo, 90.0);
        QCOMPARE(s.gain, 0.5);
        QVERIFY(s.loop);
        QCOMPARE(s.voices.size(), std::size_t(2));
        const Voice& m = s.voices[0];
        QCOMPARE(m.wave, Wave::Square);
        QCOMPARE(m.attackMs, 5.0);
        QCOMPARE(m.releaseMs, 120.0);
        QCOMPARE(m.notes.size(), std::size_t(6)); // second line appended
        QVERIFY(m.notes[3].frequencies.empty());  // rest
        QCOMPARE(m.notes[4].frequencies.size(), std::size_t(3));
        QCOMPARE(m.notes[4].beats, 2.0);
        QCOMPARE(m.notes[5].beats, 0.25);
        QCOMPARE(s.voices[1].notes.size(), std::size_t(1)); // "bass:C3/4" with no space after the colon
    }

    void badLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("where");
        QTest::newRow("unknown keyword") << "length 1\nvolume 3\n"
                                         << "x.notes:2:";
        QTest::newRow("bad wave") << "voice a organ 0.5\n"
                                  << "x.notes:1:";
        QTest::newRow("volume above 1") << "voice a sine 1.5\n"
                                        << "x.notes:1:";
        QTest::newRow("notes before voice") << "length 1\n\na: C4/1\n"
                                            << "x.notes:3:";
        QTest::newRow("bad pitch") << "voice a sine 1\na: C4/1 X9/1\n"
                                   << "x.notes:2:";
        QTest::newRow("zero beats") << "voice a sine 1\na: C4/0\n"
                                    << "x.notes:2:";
        QTest::newRow("length not a number") << "length 9s\n"
                                             << "x.notes:1:";
        QTest::newRow("negative length") << "length -1\n"
                                         << "x.notes:1:";
        QTest::newRow("gain above 1") << "gain 2\n"
                                      << "x.notes:1:";
        QTest::newRow("voice twice") << "voice a sine 1\nvoice a saw 1\n"
                                     << "x.notes:2:";
        QTest::newRow("loop without length") << "loop\nvoice a sine 1\na: C4/1\n"
                                             << "x.notes:1:";
        QTest::newRow("nothing at all") << "# empty\n"
                                        << "x.notes:";
    }
    void badLines() {
        QFETCH(QString, text);
        QFETCH(QString, where);
        Score s;
        std::string error;
        QVERIFY(!parse(text.toStdString(), s, error));
        QVERIFY2(QString::fromStdString(error).startsWith(where), error.c_str());
    }

    void lengthIsExact_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("samples");
        QTest::newRow("cut") << "length 0.5\nvoice a square 1\na: C4/4\n" << 22050;
        QTest::newRow("padded") << "length 3\nvoice a sine 1\na: C4/1\n" << 132300;
        QTest::newRow("looped") << "length 9.19\nloop\nvoice a triangle 1\na: C4/1 E4/1\n" << 405279;
        QTest::newRow("from the notes") << "tempo 60\nvoice a sine 1\na: C4/1 D4/1.5\n" << 110250;
    }
    void lengthIsExact() {
        QFETCH(QString, text);
        QFETCH(int, samples);
        Score s;
        std::string error;
        QVERIFY2(parse(text.toStdString(), s, error), error.c_str());
        const auto pcm = render(s);
        QCOMPARE(int(pcm.size()), samples);
        const std::string wav = wavFile(pcm);
        QCOMPARE(wav.size(), std::size_t(44 + 2 * samples));
        QCOMPARE(wav.substr(0, 4), std::string("RIFF"));
        QCOMPARE(read32(wav, 4), std::uint32_t(36 + 2 * samples));
        QCOMPARE(wav.substr(8, 8), std::string("WAVEfmt "));
        QCOMPARE(read16(wav, 20), std::uint16_t(1));     // PCM
        QCOMPARE(read16(wav, 22), std::uint16_t(1));     // mono
        QCOMPARE(read32(wav, 24), std::uint32_t(44100)); // rate
        QCOMPARE(read32(wav, 28), std::uint32_t(88200)); // byte rate
        QCOMPARE(read16(wav, 34), std::uint16_t(16));    // bits
        QCOMPARE(wav.substr(36, 4), std::string("data"));
        QCOMPARE(read32(wav, 40), std::uint32_t(2 * samples));
    }

    void soundWhereTheNotesAre() {
        // One beat of tone, one beat rest at 60 bpm, padded: loud, then quiet.
        Score s;
        std::string error;
        QVERIFY(parse("length 3\ntempo 60\nvoice a square 1 5 50\na: A4/1 R/1\n", s, error));
        const auto pcm = render(s);
        QVERIFY(rms(pcm, 2000, 40000) > 3000);
        QVERIFY(rms(pcm, 50000, 132300) < 10);
        // Gentle start: the first samples are near silence, no click.
        QVERIFY(std::abs(pcm[0]) < 200);
        QVERIFY(std::abs(pcm[1]) < 200);
    }

    void loopRepeatsAndChordsStayClipSafe() {
        Score s;
        std::string error;
        QVERIFY(parse("length 4\ntempo 120\ngain 1\nloop\nvoice a saw 1\nvoice b square 1\n"
                      "a: C4+E4+G4+C5/1\nb: C3+G3/1\n",
                      s, error));
        const auto pcm = render(s);
        // The half-second part is heard again near the end.
        QVERIFY(rms(pcm, 44100 * 3, 44100 * 3 + 20000) > 3000);
        int peak = 0;
        int clipped = 0;
        for (auto v : pcm) {
            peak = std::max(peak, std::abs(int(v)));
            clipped += std::abs(int(v)) >= 32767;
        }
        QVERIFY(peak > 20000);
        QCOMPARE(clipped, 0);
        // Ends quietly even though the loop is cut mid-note.
        QVERIFY(std::abs(pcm.back()) < 500);
    }

    void noiseIsReproducible() {
        Score a;
        Score b;
        std::string error;
        const char* text = "length 1\nvoice w noise 0.8 20 200\nw: C6/1\n";
        QVERIFY(parse(text, a, error));
        QVERIFY(parse(text, b, error));
        const auto pa = render(a);
        QVERIFY(rms(pa, 2000, 20000) > 1000);
        QVERIFY(pa == render(b));
    }
};

QTEST_APPLESS_MAIN(TestWavSynth)
#include "tst_wavsynth.moc"
