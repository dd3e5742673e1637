#include "WavSynth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <sstream>

namespace wavsynth {

namespace {

constexpr double kMaxLengthSeconds = 600.0; // guards against a typo asking for hours of audio
constexpr double kTwoPi = 2.0 * std::numbers::pi;

bool parseNumber(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

std::vector<std::string> splitWords(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// '#' starts a comment only at the line start or after white space, so "F#4" stays a pitch.
std::string stripComment(const std::string& line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || std::isspace(static_cast<unsigned char>(line[i - 1]))))
            return line.substr(0, i);
    }
    return line;
}

bool parseWave(const std::string& text, Wave& wave) {
    static const std::pair<const char*, Wave> names[] = {{"sine", Wave::Sine},
                                                         {"square", Wave::Square},
                                                         {"triangle", Wave::Triangle},
                                                         {"saw", Wave::Saw},
                                                         {"noise", Wave::Noise}};
    for (const auto& [name, w] : names) {
        if (text == name) {
            wave = w;
            return true;
        }
    }
    return false;
}

Voice* findVoice(Score& score, const std::string& name) {
    for (Voice& v : score.voices) {
        if (v.name == name)
            return &v;
    }
    return nullptr;
}

// Returns an empty string on success, else the reason.
std::string parseNote(const std::string& token, Note& note) {
    const std::size_t slash = token.find('/');
    const std::string pitches = token.substr(0, slash);
    note = Note{};
    if (slash != std::string::npos) {
        if (!parseNumber(token.substr(slash + 1), note.beats) || note.beats <= 0.0 || note.beats > 1000.0)
            return "bad duration in '" + token + "' (beats must be a number above 0)";
    }
    if (pitches == "R" || pitches == "r")
        return {};
    std::size_t start = 0;
    while (true) {
        const std::size_t plus = pitches.find('+', start);
        const std::string one =
            pitches.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        const double f = pitchFrequency(one);
        if (f <= 0.0)
            return "bad pitch '" + one + "' in '" + token + "' (expected e.g. C4, F#4, Bb3 or R)";
        note.frequencies.push_back(f);
        if (plus == std::string::npos)
            break;
        start = plus + 1;
    }
    return {};
}

// Per-line parser; returns the reason on failure.
std::string parseLine(const std::vector<std::string>& words, Score& score) {
    const std::string& key = words.front();
    const std::size_t colon = key.find(':');
    if (colon != std::string::npos) {
        const std::string name = key.substr(0, colon);
        Voice* voice = findVoice(score, name);
        if (!voice)
            return "unknown voice '" + name + "' (declare it with a voice line first)";
        std::vector<std::string> tokens;
        if (colon + 1 < key.size())
            tokens.push_back(key.substr(colon + 1));
        tokens.insert(tokens.end(), words.begin() + 1, words.end());
        for (const std::string& t : tokens) {
            Note note;
            if (std::string why = parseNote(t, note); !why.empty())
                return why;
            voice->notes.push_back(std::move(note));
        }
        return {};
    }
    const std::size_t args = words.size() - 1;
    double v = 0.0;
    if (key == "length") {
        if (args != 1 || !parseNumber(words[1], v) || v <= 0.0 || v > kMaxLengthSeconds)
            return "length needs one number of seconds above 0 and at most 600";
        score.length = v;
    } else if (key == "tempo") {
        if (args != 1 || !parseNumber(words[1], v) || v <= 0.0 || v > 2000.0)
            return "tempo needs one number of quarter notes per minute above 0";
        score.tempo = v;
    } else if (key == "gain") {
        if (args != 1 || !parseNumber(words[1], v) || v < 0.0 || v > 1.0)
            return "gain needs one number from 0 to 1";
        score.gain = v;
    } else if (key == "loop") {
        if (args != 0)
            return "loop takes no values";
        score.loop = true;
    } else if (key == "voice") {
        if (args < 3 || args > 5)
            return "voice needs: voice <name> <sine|square|triangle|saw|noise> <volume 0..1> [attack_ms] "
                   "[release_ms]";
        Voice voice;
        voice.name = words[1];
        if (findVoice(score, voice.name))
            return "voice '" + voice.name + "' is declared twice";
        if (!parseWave(words[2], voice.wave))
            return "unknown wave '" + words[2] + "' (sine, square, triangle, saw or noise)";
        if (!parseNumber(words[3], voice.volume) || voice.volume < 0.0 || voice.volume > 1.0)
            return "voice volume must be a number from 0 to 1";
        if (args >= 4 &&
            (!parseNumber(words[4], voice.attackMs) || voice.attackMs < 0.0 || voice.attackMs > 10000))
            return "attack must be a number of milliseconds from 0 to 10000";
        if (args >= 5 &&
            (!parseNumber(words[5], voice.releaseMs) || voice.releaseMs < 0.0 || voice.releaseMs > 10000))
            return "release must be a number of milliseconds from 0 to 10000";
        score.voices.push_back(std::move(voice));
    } else {
        return "unknown line '" + key + "' (expected length, tempo, gain, loop, voice or <voice>: notes)";
    }
    return {};
}

double polyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double voiceSeconds(const Score& score, const Voice& voice) {
    double beats = 0.0;
    for (const Note& n : voice.notes)
        beats += n.beats;
    return beats * 60.0 / score.tempo;
}

// Adds one note (with its release tail) into the mix.
void renderNote(const Voice& voice, const Note& note, std::size_t start, std::size_t length,
                std::uint32_t& noiseSeed, std::vector<float>& mix) {
    if (note.frequencies.empty() || start >= mix.size() || voice.volume <= 0.0)
        return;
    const double attack = std::min(voice.attackMs * kSampleRate / 1000.0, length / 2.0);
    const double release = voice.releaseMs * kSampleRate / 1000.0;
    const std::size_t total = std::min(mix.size() - start, length + static_cast<std::size_t>(release));
    // Gentle decay while held so long notes soften like a plucked toy instrument rather than an organ.
    auto held = [&](double i) {
        if (i < attack)
            return 0.5 - 0.5 * std::cos(std::numbers::pi * i / attack);
        return 0.7 + 0.3 * std::exp(-(i - attack) / (0.5 * kSampleRate));
    };
    const double offLevel = held(static_cast<double>(length));
    double waveScale = 1.0;
    switch (voice.wave) {
    case Wave::Square:
        waveScale = 0.45;
        break;
    case Wave::Saw:
        waveScale = 0.5;
        break;
    case Wave::Noise:
        waveScale = 0.8;
        break;
    default:
        break;
    }
    const double amplitude =
        voice.volume * waveScale / std::sqrt(static_cast<double>(note.frequencies.size()));

    for (double freq : note.frequencies) {
        const double dt = std::min(freq / kSampleRate, 0.45);
        // Softening low-pass: square and saw get their edges rounded; noise is coloured by its pitch.
        double cutoff = 0.0;
        if (voice.wave == Wave::Square || voice.wave == Wave::Saw)
            cutoff = 4500.0;
        else if (voice.wave == Wave::Noise)
            cutoff = std::clamp(freq * 4.0, 80.0, 16000.0);
        const double alpha = cutoff > 0.0 ? 1.0 - std::exp(-kTwoPi * cutoff / kSampleRate) : 1.0;
        double phase = 0.0;
        double filtered = 0.0;
        for (std::size_t i = 0; i < total; ++i) {
            double s = 0.0;
            switch (voice.wave) {
            case Wave::Sine:
                s = std::sin(kTwoPi * phase);
                break;
            case Wave::Square: {
                s = phase < 0.5 ? 1.0 : -1.0;
                s += polyBlep(phase, dt);
                s -= polyBlep(std::fmod(phase + 0.5, 1.0), dt);
                break;
            }
            case Wave::Triangle:
                s = 1.0 - 4.0 * std::abs(phase - 0.5);
                break;
            case Wave::Saw:
                s = 2.0 * phase - 1.0 - polyBlep(phase, dt);
                break;
            case Wave::Noise:
                noiseSeed =
                    noiseSeed * 1664525u + 1013904223u; // fixed generator: identical output every build
                s = static_cast<double>(noiseSeed >> 8) / static_cast<double>(1u << 23) - 1.0;
                break;
            }
            filtered += alpha * (s - filtered);
            phase += dt;
            if (phase >= 1.0)
                phase -= 1.0;
            double env;
            if (i < length) {
                env = held(static_cast<double>(i));
            } else {
                const double r = (static_cast<double>(i - length)) / release;
                env = offLevel * (0.5 + 0.5 * std::cos(std::numbers::pi * r));
            }
            mix[start + i] += static_cast<float>(filtered * env * amplitude);
        }
    }
}

} // namespace

double pitchFrequency(const std::string& text) {
    static const int semitones[] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G from C
    if (text.empty())
        return -1.0;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (letter < 'A' || letter > 'G')
        return -1.0;
    int semitone = semitones[letter - 'A'];
    std::size_t i = 1;
    while (i < text.size() && (text[i] == '#' || text[i] == 'b')) {
        semitone += text[i] == '#' ? 1 : -1;
        ++i;
    }
    const std::string octaveText = text.substr(i);
    if (octaveText.empty() || octaveText.size() > 2)
        return -1.0;
    for (std::size_t k = 0; k < octaveText.size(); ++k) {
        if (!std::isdigit(static_cast<unsigned char>(octaveText[k])) && !(k == 0 && octaveText[k] == '-'))
            return -1.0;
    }
    if (octaveText == "-")
        return -1.0;
    const int octave = std::atoi(octaveText.c_str());
    if (octave < -1 || octave > 9)
        return -1.0;
    const int midi = 12 * (octave + 1) + semitone;
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

bool parseScore(std::istream& in, const std::string& fileName, Score& score, std::string& error) {
    score = Score{};
    int lineNumber = 0;
    int loopLine = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        const std::vector<std::string> words = splitWords(stripComment(line));
        if (words.empty())
            continue;
        if (std::string why = parseLine(words, score); !why.empty()) {
            error = fileName + ":" + std::to_string(lineNumber) + ": " + why;
            return false;
        }
        if (words.front() == "loop")
            loopLine = lineNumber;
    }
    if (score.length < 0.0) {
        if (score.loop) {
            error = fileName + ":" + std::to_string(loopLine) + ": loop needs a length line";
            return false;
        }
        double longest = 0.0;
        for (const Voice& v : score.voices)
            longest = std::max(longest, voiceSeconds(score, v));
        if (longest <= 0.0) {
            error = fileName + ": no length line and no notes";
            return false;
        }
        if (longest > kMaxLengthSeconds) {
            error = fileName + ": the notes last longer than 600 seconds";
            return false;
        }
        score.length = longest;
    }
    return true;
}

std::size_t sampleCount(const Score& score) {
    return static_cast<std::size_t>(std::llround(std::max(score.length, 0.0) * kSampleRate));
}

std::vector<std::int16_t> render(const Score& score) {
    const std::size_t count = sampleCount(score);
    std::vector<float> mix(count, 0.0f);
    const double samplesPerBeat = 60.0 / score.tempo * kSampleRate;
    std::uint32_t noiseSeed = 22222u;
    for (const Voice& voice : score.voices) {
        if (voice.notes.empty())
            continue;
        double beat = 0.0;
        std::size_t index = 0;
        while (true) {
            const Note& note = voice.notes[index];
            const auto start = static_cast<std::size_t>(std::llround(beat * samplesPerBeat));
            if (start >= count)
                break;
            beat += note.beats;
            const auto end = static_cast<std::size_t>(std::llround(beat * samplesPerBeat));
            renderNote(voice, note, start, end - start, noiseSeed, mix);
            if (++index == voice.notes.size()) {
                if (!score.loop)
                    break;
                index = 0;
            }
        }
    }
    float peak = 0.0f;
    for (float& s : mix) {
        s *= static_cast<float>(score.gain);
        peak = std::max(peak, std::abs(s));
    }
    // Clip-safe: a loud chord lowers the whole sound instead of distorting.
    const float scale = peak > 0.98f ? 0.98f / peak : 1.0f;
    // A short fade at the very end so a cut note does not click.
    const std::size_t fade = std::min<std::size_t>(count, kSampleRate / 100);
    std::vector<std::int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        float s = mix[i] * scale;
        if (i + fade >= count && fade > 0)
            s *= static_cast<float>(count - i) / static_cast<float>(fade + 1);
        out[i] = static_cast<std::int16_t>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f));
    }
    return out;
}

std::string wavFile(const std::vector<std::int16_t>& samples) {
    std::string out;
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.reserve(44 + dataBytes);
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    auto put16 = [&](std::uint16_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>(v >> 8));
    };
    out += "RIFF";
    put32(36 + dataBytes);
    out += "WAVEfmt ";
    put32(16);
    put16(1); // PCM
    put16(1); // mono
    put32(kSampleRate);
    put32(kSampleRate * 2);
    put16(2);
    put16(16);
    out += "data";
    put32(dataBytes);
    for (std::int16_t s : samples)
        put16(static_cast<std::uint16_t>(s));
    return out;
}

} // namespace wavsynth
