// Note-list synthesiser: parses the suite's .notes format and renders 44.1 kHz 16-bit mono PCM.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace wavsynth {

constexpr int kSampleRate = 44100;

enum class Wave { Sine, Square, Triangle, Saw, Noise };

struct Note {
    std::vector<double> frequencies; // empty for a rest; several for a chord
    double beats = 1.0;
};

struct Voice {
    std::string name;
    Wave wave = Wave::Square;
    double volume = 0.5;
    double attackMs = 12.0;
    double releaseMs = 80.0;
    std::vector<Note> notes;
};

struct Score {
    double length = -1.0; // seconds; negative: as long as the longest voice
    double tempo = 120.0; // quarter notes per minute
    double gain = 0.6;
    bool loop = false;
    std::vector<Voice> voices;
};

// Parses a note list. On a bad line returns false with error = "<fileName>:<line>: <reason>".
bool parseScore(std::istream& in, const std::string& fileName, Score& score, std::string& error);

// Frequency in Hz of a pitch such as "C4", "F#4", "Bb3"; negative when the text is not a pitch.
double pitchFrequency(const std::string& text);

// Length of the rendered sound in samples.
std::size_t sampleCount(const Score& score);

// Renders the mix, exactly sampleCount(score) samples, never clipping.
std::vector<std::int16_t> render(const Score& score);

// A complete RIFF/WAVE file (PCM, mono, 16 bit, 44.1 kHz) holding the samples.
std::string wavFile(const std::vector<std::int16_t>& samples);

} // namespace wavsynth
