// The sound system behind Common's sound buffers. It lives in a module of its own (halvor-sound, beside the
// programs), loaded when the first sound plays, so that no program's first window waits for the audio
// libraries to load.
#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace halvor {

// One wave, ready to play on the audio output.
class SoundVoice {
public:
    virtual ~SoundVoice() = default;
    virtual void play(bool loop) = 0;
    virtual void stop() = 0;
    virtual void setGain(float gain) = 0;
    virtual bool failed() const = 0; // the device cannot play the wave
};

class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    virtual bool hasOutput() const = 0;
    // `changed` is told the new answer of hasOutput() when an audio output appears or goes away.
    virtual void watchOutputs(std::function<void(bool)> changed) = 0;
    // A voice for the wave at `url` ("qrc:/wave/134.wav"); `failed` is called once if it cannot be played.
    virtual std::unique_ptr<SoundVoice> makeVoice(const QString& url, float gain,
                                                  std::function<void()> failed) = 0;
};

// The module's one entry point; the caller owns the output.
using MakeSoundOutput = SoundOutput* (*)();
inline constexpr char kSoundModule[] = "halvor-sound";
inline constexpr char kMakeSoundOutput[] = "halvor_make_sound_output";

} // namespace halvor
