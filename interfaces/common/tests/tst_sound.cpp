// Sound buffers: the synthesised WAV resource, playing state from the WAV's length, volume, failures.
#include "Common.h"

#include <QtTest>

#include <QFile>
#include <QWidget>

namespace {
constexpr int kChime = 920; // 0.75 s, synthesised from tests/resources/wave/920.notes
}

class TestSound : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        CMN_DSForceInitFailure(false);
        CMN_DSReleaseDirectSound();
    }

    void synthesisedResourceIsTheWaveFormat() {
        QFile file(QStringLiteral(":/wave/%1.wav").arg(kChime));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray wav = file.readAll();
        QCOMPARE(wav.size(), 44 + 2 * 33075); // 0.75 s of 16-bit mono at 44.1 kHz
        QCOMPARE(wav.left(4), QByteArray("RIFF"));
        QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 22), quint16(1));
        QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 24), quint32(44100));
        QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 34), quint16(16));
    }

    void forcedFailureAndRecovery() {
        QWidget window;
        CMN_DSForceInitFailure(true);
        QVERIFY(!CMN_DSInitDirectSound(&window));
        QVERIFY(!CMN_DSCreateBufferFromWave(nullptr, kChime)); // nothing set up
        CMN_DSForceInitFailure(false);
        CMN_SoundBuffer* primary = CMN_DSInitDirectSound(&window);
        QVERIFY(primary);
        QCOMPARE(CMN_DSPlaySound(primary, 1), 1);
        QVERIFY(!CMN_DSCreateBufferFromWave(nullptr, 4711)); // no such wave
    }

    void playsForTheWavesLength() {
        QVERIFY(CMN_DSInitDirectSound(nullptr));
        CMN_SoundBuffer* chime = CMN_DSCreateBufferFromWave(nullptr, kChime);
        QVERIFY(chime);
        QCOMPARE(CMN_DSIsPlayingSound(chime), 0);
        QCOMPARE(CMN_DSPlaySound(chime, 0), 1);
        QCOMPARE(CMN_DSIsPlayingSound(chime), 1);
        QTest::qWait(450);
        QCOMPARE(CMN_DSIsPlayingSound(chime), 1);
        // Play on a sounding buffer goes on where it is; it does not start over.
        QCOMPARE(CMN_DSPlaySound(chime, 0), 1);
        QTest::qWait(400);
        QCOMPARE(CMN_DSIsPlayingSound(chime), 0); // 0.85 s after the first play

        // Back to the start: a fresh 0.75 s.
        QCOMPARE(CMN_DSPlaySound(chime, 0), 1);
        QTest::qWait(450);
        QCOMPARE(CMN_DSSetCurrentPosition(chime, 0), 1);
        QTest::qWait(450);
        QCOMPARE(CMN_DSIsPlayingSound(chime), 1); // 0.9 s after the first play
        QCOMPARE(CMN_DSStopSound(chime), 1);
        QCOMPARE(CMN_DSIsPlayingSound(chime), 0);
    }

    void loopsUntilStopped() {
        QVERIFY(CMN_DSInitDirectSound(nullptr));
        CMN_SoundBuffer* music = CMN_DSCreateBufferFromWave(nullptr, kChime);
        QVERIFY(music);
        QCOMPARE(CMN_DSPlaySound(music, 1), 1);
        QTest::qWait(900);
        QCOMPARE(CMN_DSIsPlayingSound(music), 1);
        QCOMPARE(CMN_DSStopSound(music), 1);
        QCOMPARE(CMN_DSIsPlayingSound(music), 0);
        // A reload keeps the buffer and leaves it quiet.
        QCOMPARE(CMN_DSPlaySound(music, 1), 1);
        QCOMPARE(CMN_DSCreateBufferFromWave(music, kChime), music);
        QCOMPARE(CMN_DSIsPlayingSound(music), 0);
    }

    void loopingMusicPlaysOnWhenTheOutputChanges() {
        QVERIFY(CMN_DSInitDirectSound(nullptr));
        CMN_SoundBuffer* music = CMN_DSCreateBufferFromWave(nullptr, kChime);
        QVERIFY(music);
        int restored = 0;
        // As the menus' routine does: the music is reloaded into its buffer, which leaves it quiet.
        CMN_DSSetRestoreCallbackFunc([&] {
            ++restored;
            CMN_DSCreateBufferFromWave(music, kChime);
        });
        QCOMPARE(CMN_DSPlaySound(music, 1), 1);
        CMN_DSForceOutputChange(true);
        QCOMPARE(restored, 1);
        QCOMPARE(CMN_DSIsPlayingSound(music), 1);
        CMN_DSForceOutputChange(false);
        QCOMPARE(restored, 2);
        QTest::qWait(900); // longer than the wave: still looping
        QCOMPARE(CMN_DSIsPlayingSound(music), 1);
    }

    void volume_data() {
        QTest::addColumn<int>("hundredths");
        QTest::addColumn<double>("gain");
        QTest::newRow("full") << 0 << 1.0;
        QTest::newRow("-20 dB") << -2000 << 0.1;
        QTest::newRow("-6 dB") << -600 << 0.50119;
        QTest::newRow("silent") << -10000 << 0.0;
        QTest::newRow("below silent") << -30000 << 0.0;
        QTest::newRow("above full") << 500 << 1.0;
    }
    void volume() {
        QFETCH(int, hundredths);
        QFETCH(double, gain);
        QVERIFY(CMN_DSInitDirectSound(nullptr));
        CMN_SoundBuffer* buffer = CMN_DSCreateBufferFromWave(nullptr, kChime);
        QVERIFY(buffer);
        QCOMPARE(CMN_DSSetVolume(buffer, hundredths), 1);
        QVERIFY2(std::abs(CMN_DSGainOf(buffer) - gain) < 1e-4,
                 qPrintable(QString::number(CMN_DSGainOf(buffer))));
    }

    void releasedBuffersAreRefusedNotUsed() {
        QVERIFY(CMN_DSInitDirectSound(nullptr));
        CMN_SoundBuffer* buffer = CMN_DSCreateBufferFromWave(nullptr, kChime);
        QVERIFY(buffer);
        CMN_DSSetRestoreCallbackFunc([] {});
        CMN_DSReleaseDirectSound();
        CMN_DSReleaseDirectSound();
        QCOMPARE(CMN_DSPlaySound(buffer, 1), 0);
        QCOMPARE(CMN_DSIsPlayingSound(buffer), 0);
        QCOMPARE(CMN_DSStopSound(buffer), 0);
        QCOMPARE(CMN_DSSetVolume(buffer, 0), 0);
        QCOMPARE(CMN_DSGainOf(buffer), -1.0f);
        QCOMPARE(CMN_DSPlaySound(nullptr, 0), 0);
        QVERIFY(!CMN_DSCreateBufferFromWave(nullptr, kChime));
    }
};

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
