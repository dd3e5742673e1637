// The sound module: Common's sound output on Qt Multimedia (QSoundEffect, WAV only).
#include "SoundOutput.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QObject>
#include <QSoundEffect>
#include <QUrl>

namespace {

class Voice final : public halvor::SoundVoice {
public:
    Voice(const QString& url, float gain, std::function<void()> failed) {
        effect_.setSource(QUrl(url));
        effect_.setVolume(gain);
        QObject::connect(&effect_, &QSoundEffect::statusChanged, &effect_,
                         [this, failed = std::move(failed)] {
                             if (effect_.status() == QSoundEffect::Error && failed)
                                 failed();
                         });
    }
    void play(bool loop) override {
        effect_.setLoopCount(loop ? int(QSoundEffect::Infinite) : 1);
        effect_.play();
    }
    void stop() override { effect_.stop(); }
    void setGain(float gain) override { effect_.setVolume(gain); }
    bool failed() const override { return effect_.status() == QSoundEffect::Error; }

private:
    QSoundEffect effect_;
};

class Output final : public halvor::SoundOutput {
public:
    bool hasOutput() const override { return !QMediaDevices::audioOutputs().isEmpty(); }
    void watchOutputs(std::function<void(bool)> changed) override {
        QObject::disconnect(&devices_, nullptr, nullptr, nullptr);
        QObject::connect(&devices_, &QMediaDevices::audioOutputsChanged, &devices_,
                         [this, changed = std::move(changed)] { changed(hasOutput()); });
    }
    std::unique_ptr<halvor::SoundVoice> makeVoice(const QString& url, float gain,
                                                  std::function<void()> failed) override {
        return std::make_unique<Voice>(url, gain, std::move(failed));
    }

private:
    QMediaDevices devices_;
};

} // namespace

extern "C" Q_DECL_EXPORT halvor::SoundOutput* halvor_make_sound_output() {
    return new Output;
}
