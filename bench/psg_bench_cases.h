#pragma once
// The chip set-ups that the benchmark and the instruction-count run share.

enum class PsgBenchCase {
    kSilent,        // reset state: every channel held
    kShortestTone,  // tone 0 at period register 0 (one step), full amplitude
    kMusical,       // tones at registers 254, 190, 127, white noise at shift rate 1
    kWhiteNoise,    // white noise alone at shift rate 0
};

// Resets chip 0 at 44100 Hz with the default volume and writes the case.
void PsgBenchSetUp(PsgBenchCase which);
