// halvor-wavsynth <in.notes> <out.wav>: synthesises a note list into a WAV file.
#include "WavSynth.h"

#include <cstdio>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: halvor-wavsynth <in.notes> <out.wav>\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << argv[1] << ": cannot open\n";
        return 1;
    }
    wavsynth::Score score;
    std::string error;
    if (!wavsynth::parseScore(in, argv[1], score, error)) {
        std::cerr << error << '\n';
        return 1;
    }
    const std::string wav = wavsynth::wavFile(wavsynth::render(score));
    // Written to a side file first so a failed write never leaves a half WAV that looks up to date.
    const std::string temp = std::string(argv[2]) + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out || !out.write(wav.data(), static_cast<std::streamsize>(wav.size())) || !out.flush()) {
            std::cerr << argv[2] << ": cannot write\n";
            std::remove(temp.c_str());
            return 1;
        }
    }
    if (std::rename(temp.c_str(), argv[2]) != 0) {
        std::cerr << argv[2] << ": cannot write\n";
        std::remove(temp.c_str());
        return 1;
    }
    return 0;
}
