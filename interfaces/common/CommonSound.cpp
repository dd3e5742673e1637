// Sound buffers on the sound module's voices (QSoundEffect, WAV only). Whether a buffer is playing is kept
// by the library from the WAV's own length, so "play if not playing" behaves the same with speakers, without
// them, without the module, or while the file is still loading.
#include "Common.h"
#include "CommonDetail.h"
#include "SoundOutput.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

Q_LOGGING_CATEGORY(lcSound, "halvor.sound", QtInfoMsg)

struct CMN_SoundBuffer {
    int id = 0;
    bool primary = false;
    qint64 durationMs = 0;
    bool playing = false;
    bool looping = false;
    QElapsedTimer started;
    float gain = 1.0f;
    std::unique_ptr<halvor::SoundVoice> effect; // none without an audio device
    bool reportedError = false;
};

namespace {

struct SoundState {
    bool initialised = false;
    bool forceFailure = false;
    CMN_SoundBuffer primary;
    std::vector<std::unique_ptr<CMN_SoundBuffer>> buffers;
    std::function<void()> restore;
    bool asked = false; // whether the sound system was asked for its outputs
    bool waitingForFrame = false;
    QElapsedTimer lastLook; // when a sound server was last looked for and none was found
    std::unique_ptr<halvor::SoundOutput> output;
    bool hasOutput = false;
};

SoundState& state() {
    static SoundState s;
    return s;
}

quint32 u32(const QByteArray& data, qsizetype at) {
    return quint32(uchar(data[at])) | quint32(uchar(data[at + 1])) << 8 | quint32(uchar(data[at + 2])) << 16 |
           quint32(uchar(data[at + 3])) << 24;
}

// Length in milliseconds of the PCM WAV `file`; -1 when it is not one. Only the chunk headers are read: the
// samples are the sound system's business, when the sound is first played.
qint64 wavDurationMs(QIODevice& file) {
    const qint64 total = file.size();
    const QByteArray head = file.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return -1;
    quint32 byteRate = 0;
    qint64 at = 12;
    while (at + 8 <= total && file.seek(at)) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8)
            return -1;
        const quint32 size = u32(chunk, 4);
        const qint64 body = at + 8;
        if (chunk.startsWith("fmt ") && size >= 16) {
            const QByteArray format = file.read(16);
            if (format.size() < 16)
                return -1;
            byteRate = u32(format, 8);
        } else if (chunk.startsWith("data")) {
            if (byteRate == 0)
                return -1;
            // A header may claim more than the file holds; the file is what plays.
            const qint64 bytes = std::min<qint64>(size, total - body);
            return bytes * 1000 / byteRate;
        }
        at = body + qint64(size) + (size & 1);
    }
    return -1;
}

bool isPlaying(CMN_SoundBuffer* buffer) {
    if (!buffer->playing)
        return false;
    if (!buffer->looping && buffer->started.elapsed() >= buffer->durationMs)
        buffer->playing = false;
    return buffer->playing;
}

void makeEffect(CMN_SoundBuffer* buffer) {
    buffer->effect.reset();
    if (!state().output || !state().hasOutput || buffer->primary || buffer->id == 0)
        return;
    // A file the device cannot play is reported once and the buffer goes on silently.
    buffer->effect =
        state().output->makeVoice(QStringLiteral("qrc:/wave/%1.wav").arg(buffer->id), buffer->gain, [buffer] {
            if (buffer->reportedError)
                return;
            buffer->reportedError = true;
            qCWarning(lcSound) << "wave" << buffer->id << "cannot be played here; it stays silent";
        });
}

void startEffect(CMN_SoundBuffer* buffer) {
    if (!buffer->effect || buffer->effect->failed())
        return;
    buffer->effect->play(buffer->looping);
}

// Without the sound module every sound is silent, as without speakers.
std::unique_ptr<halvor::SoundOutput> loadOutput() {
    QString reason;
    if (const auto make = reinterpret_cast<halvor::MakeSoundOutput>(
            CMN_LoadModule(halvor::kSoundModule, halvor::kMakeSoundOutput, &reason)))
        return std::unique_ptr<halvor::SoundOutput>(make());
    qCWarning(lcSound).noquote() << "no sound module, sounds play silently:" << reason;
    return nullptr;
}

void outputsChanged(bool hasOutput) {
    SoundState& s = state();
    if (hasOutput == s.hasOutput)
        return;
    s.hasOutput = hasOutput;
    qCInfo(lcSound) << (hasOutput ? "an audio output appeared" : "the audio output went away");
    // The program's restore routine reloads its buffers, and a reloaded buffer is quiet: what was looping
    // is started again after it, or the menu music would stay silent.
    std::vector<CMN_SoundBuffer*> looping;
    for (auto& buffer : s.buffers) {
        if (isPlaying(buffer.get()) && buffer->looping)
            looping.push_back(buffer.get());
        makeEffect(buffer.get());
    }
    if (s.restore)
        s.restore();
    for (CMN_SoundBuffer* buffer : looping) {
        if (!std::any_of(s.buffers.begin(), s.buffers.end(),
                         [buffer](const auto& b) { return b.get() == buffer; }))
            continue; // released by the routine
        if (!buffer->playing)
            buffer->started.start();
        buffer->playing = true;
        buffer->looping = true;
        startEffect(buffer);
    }
}

// The audio devices are asked for, and the sounds prepared, when a sound is first played: a drill whose
// sounds wait for the learner's first run shows its window without waiting for the sound system. With no
// sound server to play through, the module and its libraries are not loaded at all; the server is looked
// for again at a later sound, no more than every few seconds.
void ensureDevices() {
    SoundState& s = state();
    if (s.asked || !s.initialised)
        return;
    constexpr qint64 kLookAgainMs = 3000;
    if (s.lastLook.isValid() && s.lastLook.elapsed() < kLookAgainMs)
        return;
    if (!cmn_detail::soundServerMayAnswer(cmn_detail::SoundPlaces::ofThisSession())) {
        if (!s.lastLook.isValid())
            qCInfo(lcSound) << "no sound server: sounds play silently";
        s.lastLook.start();
        return;
    }
    s.asked = true;
    s.output = loadOutput();
    if (s.output)
        s.output->watchOutputs(outputsChanged);
    s.hasOutput = s.output && s.output->hasOutput();
    if (s.output && !s.hasOutput)
        qCInfo(lcSound) << "no audio output: sounds play silently";
    // Sounds started while the devices were not yet asked for are heard from here on.
    for (auto& buffer : s.buffers) {
        makeEffect(buffer.get());
        if (isPlaying(buffer.get()))
            startEffect(buffer.get());
    }
}

// The first window is not kept waiting for the sound system: a sound played while it is being built (the
// menus' music) starts once it is on the screen.
void ensureDevicesSoon() {
    SoundState& s = state();
    if (s.asked || s.waitingForFrame)
        return;
    s.waitingForFrame = true;
    CMN_AfterFirstFrame([] {
        state().waitingForFrame = false;
        ensureDevices();
    });
}

bool known(CMN_SoundBuffer* buffer) {
    if (!buffer)
        return false;
    SoundState& s = state();
    if (buffer == &s.primary)
        return s.initialised;
    for (const auto& b : s.buffers) {
        if (b.get() == buffer)
            return true;
    }
    // Once: a drill that keeps a stale buffer would otherwise repeat this every frame.
    static bool told = false;
    if (!told)
        qCWarning(lcSound) << "a sound buffer that was released or never made is ignored";
    told = true;
    return false;
}

} // namespace

namespace cmn_detail {

SoundPlaces SoundPlaces::ofThisSession() {
    SoundPlaces places;
    places.serverVariable = qEnvironmentVariable("PULSE_SERVER");
    places.runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    places.pulseRuntime = qEnvironmentVariable("PULSE_RUNTIME_PATH");
    places.display = qEnvironmentVariable("DISPLAY");
    places.sockets = {QStringLiteral("/run/pulse/native"), QStringLiteral("/var/run/pulse/native")};
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    places.configFiles = {QStringLiteral("/etc/pulse/client.conf"),
                          config + QStringLiteral("/pulse/client.conf")};
    for (const QFileInfo& file : QDir(QStringLiteral("/etc/pulse/client.conf.d")).entryInfoList(QDir::Files))
        places.configFiles << file.filePath();
    places.daemonInstalled = !QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
                             !QStandardPaths::findExecutable(QStringLiteral("pipewire-pulse")).isEmpty();
    return places;
}

bool soundServerMayAnswer(const SoundPlaces& places) {
    if (!places.serverVariable.isEmpty() || places.daemonInstalled)
        return true;
    // "host:0" rather than ":0": the display may carry the address of the server beside it.
    if (!places.display.isEmpty() && !places.display.startsWith(QLatin1Char(':')))
        return true;
    QStringList sockets = places.sockets;
    if (!places.pulseRuntime.isEmpty())
        sockets << places.pulseRuntime + QStringLiteral("/native");
    if (!places.runtimeDir.isEmpty())
        sockets << places.runtimeDir + QStringLiteral("/pulse/native");
    for (const QString& socket : std::as_const(sockets)) {
        if (QFileInfo::exists(socket))
            return true;
    }
    static const QRegularExpression named(QStringLiteral("^\\s*default-server\\s*="),
                                          QRegularExpression::MultilineOption);
    for (const QString& path : places.configFiles) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && QString::fromUtf8(file.readAll()).contains(named))
            return true;
    }
    return false;
}

} // namespace cmn_detail

CMN_SoundBuffer* CMN_DSInitDirectSound(QWidget*) {
    SoundState& s = state();
    if (s.forceFailure) {
        qCWarning(lcSound) << "sound set-up failed on request";
        return nullptr;
    }
    if (!s.initialised) {
        static const bool registered = [] {
            // Effects and the device list must go while the application still exists.
            if (QCoreApplication::instance())
                qAddPostRoutine(CMN_DSReleaseDirectSound);
            return true;
        }();
        Q_UNUSED(registered);
        s.initialised = true;
    }
    s.primary = {};
    s.primary.primary = true;
    return &s.primary;
}

CMN_SoundBuffer* CMN_DSCreateBufferFromWave(CMN_SoundBuffer* buffer, int id) {
    SoundState& s = state();
    if (!s.initialised) {
        qCWarning(lcSound) << "wave" << id << "asked for before the sound set-up";
        return nullptr;
    }
    if (buffer && (buffer->primary || !known(buffer)))
        return nullptr;
    QFile file(QStringLiteral(":/wave/%1.wav").arg(id));
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcSound) << "wave" << id << "is missing";
        return nullptr;
    }
    const qint64 duration = wavDurationMs(file);
    if (duration < 0) {
        qCWarning(lcSound) << "wave" << id << "is not a PCM WAV file";
        return nullptr;
    }
    if (!buffer) {
        s.buffers.push_back(std::make_unique<CMN_SoundBuffer>());
        buffer = s.buffers.back().get();
    } else if (buffer->effect) {
        buffer->effect->stop();
    }
    buffer->id = id;
    buffer->durationMs = duration;
    buffer->playing = false;
    buffer->looping = false;
    buffer->reportedError = false;
    makeEffect(buffer);
    return buffer;
}

int CMN_DSPlaySound(CMN_SoundBuffer* buffer, int loop) {
    if (!known(buffer))
        return 0;
    const bool wasPlaying = isPlaying(buffer);
    // A buffer that is already sounding goes on where it is, as the drills expect of "play".
    if (wasPlaying && buffer->looping == (loop != 0))
        return 1;
    buffer->looping = loop != 0;
    buffer->playing = true;
    if (!wasPlaying)
        buffer->started.start();
    if (!buffer->primary)
        ensureDevicesSoon();
    startEffect(buffer);
    return 1;
}

int CMN_DSStopSound(CMN_SoundBuffer* buffer) {
    if (!known(buffer))
        return 0;
    buffer->playing = false;
    if (buffer->effect)
        buffer->effect->stop();
    return 1;
}

int CMN_DSIsPlayingSound(CMN_SoundBuffer* buffer) {
    if (!known(buffer))
        return 0;
    return isPlaying(buffer) ? 1 : 0;
}

int CMN_DSSetVolume(CMN_SoundBuffer* buffer, int hundredthsOfDecibel) {
    if (!known(buffer))
        return 0;
    const int level = std::clamp(hundredthsOfDecibel, -10000, 0);
    buffer->gain = level <= -10000 ? 0.0f : float(std::pow(10.0, level / 2000.0));
    if (buffer->effect)
        buffer->effect->setGain(buffer->gain);
    return 1;
}

int CMN_DSSetCurrentPosition(CMN_SoundBuffer* buffer, int position) {
    if (!known(buffer))
        return 0;
    if (position != 0)
        qCDebug(lcSound) << "sound position" << position << "taken as the start";
    // The effect cannot seek; starting over is the only position it has.
    if (isPlaying(buffer)) {
        buffer->started.start();
        if (buffer->effect) {
            buffer->effect->stop();
            startEffect(buffer);
        }
    }
    return 1;
}

void CMN_DSSetRestoreCallbackFunc(std::function<void()> restore) {
    state().restore = std::move(restore);
}

void CMN_DSReleaseDirectSound() {
    SoundState& s = state();
    for (auto& buffer : s.buffers) {
        if (buffer->effect)
            buffer->effect->stop();
    }
    s.buffers.clear();
    s.primary = {};
    s.restore = nullptr;
    s.output.reset();
    s.asked = false;
    s.lastLook.invalidate();
    s.initialised = false;
}

void CMN_DSForceOutputChange(bool hasOutput) {
    ensureDevices();
    outputsChanged(hasOutput);
}

void CMN_DSForceInitFailure(bool fail) {
    state().forceFailure = fail;
}

// For tests: the gain a buffer plays at (0..1); -1 for an unknown buffer.
float CMN_DSGainOf(CMN_SoundBuffer* buffer) {
    return known(buffer) ? buffer->gain : -1.0f;
}
