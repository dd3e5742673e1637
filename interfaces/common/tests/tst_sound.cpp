// Sound buffers: the synthesised WAV resource, playing state from the WAV's length, volume, failures.
#include "Common.h"
#include "CommonDetail.h"
#include "TestDoubles.h"

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

    // First, while no window of this process has painted: music started while the window is being built
    // asks for the sound system only once the window is on the screen, and work queued for after the first
    // frame runs then, in order; later work runs at once.
    void soundWaitsForTheFirstFrame() {
        static QStringList said;
        said.clear();
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& text) {
                if (QByteArray(context.category) == "halvor.sound")
                    said << text;
            });
        // A named server that is not there: the module is loaded and says it finds no output.
        const ScopedVariable server("PULSE_SERVER", "unix:/nonexistent/native");
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        QStringList ran;
        CMN_AfterFirstFrame([&ran] { ran << "first"; });
        QWidget window;
        window.resize(64, 48);
        QVERIFY(CMN_DSInitDirectSound(&window));
        CMN_SoundBuffer* music = CMN_DSCreateBufferFromWave(nullptr, kChime);
        QCOMPARE(CMN_DSPlaySound(music, 1), 1);
        CMN_AfterFirstFrame([&ran] { ran << "second"; });
        QCoreApplication::processEvents();
        QCOMPARE(ran, QStringList());
        QVERIFY(said.isEmpty());
        window.show();
        QTRY_COMPARE(ran, (QStringList{"first", "second"}));
        QVERIFY(!said.isEmpty()); // the sound system was looked for
        QCOMPARE(CMN_DSIsPlayingSound(music), 1);
        CMN_AfterFirstFrame([&ran] { ran << "later"; });
        QCOMPARE(ran.last(), QStringLiteral("later"));
    }

    // The sound module is loaded only where a sound server may answer.
    void soundServerIsLookedFor_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("mayAnswer");
        QTest::newRow("nothing") << "" << false;
        QTest::newRow("server variable") << "variable" << true;
        QTest::newRow("session socket") << "socket" << true;
        QTest::newRow("system socket") << "system" << true;
        QTest::newRow("configured server") << "config" << true;
        QTest::newRow("commented-out server") << "comment" << false;
        QTest::newRow("remote display") << "remote" << true;
        QTest::newRow("server starts when asked") << "daemon" << true;
    }
    void soundServerIsLookedFor() {
        QFETCH(QString, setting);
        QFETCH(bool, mayAnswer);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        auto touch = [](const QString& path, const QByteArray& text) {
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
        };
        cmn_detail::SoundPlaces places;
        places.runtimeDir = dir.filePath(QStringLiteral("run"));
        places.display = QStringLiteral(":0");
        places.sockets = {dir.filePath(QStringLiteral("system/native"))};
        places.configFiles = {dir.filePath(QStringLiteral("client.conf"))};
        QVERIFY(touch(places.configFiles[0], "; default-server =\nautospawn = no\n"));
        if (setting == "variable")
            places.serverVariable = QStringLiteral("unix:/elsewhere");
        if (setting == "socket")
            QVERIFY(touch(places.runtimeDir + QStringLiteral("/pulse/native"), {}));
        if (setting == "system")
            QVERIFY(touch(places.sockets[0], {}));
        if (setting == "config")
            QVERIFY(touch(places.configFiles[0], "autospawn = no\n  default-server = tcp:hall\n"));
        if (setting == "remote")
            places.display = QStringLiteral("classroom-7:10");
        if (setting == "daemon")
            places.daemonInstalled = true;
        QCOMPARE(cmn_detail::soundServerMayAnswer(places), mayAnswer);
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

    // Without the sound module (a broken installation) every sound is silent, and its timing holds.
    void playsForTheWavesLength_data() {
        QTest::addColumn<QByteArray>("modules");
        // A named server that is not there: the module is loaded and finds no output.
        QTest::newRow("sound module") << qgetenv("HALVOR_MODULES");
        QTest::newRow("no sound module") << QByteArray("/nonexistent");
    }
    void playsForTheWavesLength() {
        QFETCH(QByteArray, modules);
        const ScopedVariable folder("HALVOR_MODULES", modules);
        const ScopedVariable server("PULSE_SERVER", "unix:/nonexistent/native");
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
