// Stress a run can put on the link, all of it in the stimulus the host
// builds: transmitter jitter on the edge times (random, dual-Dirac
// deterministic, sinusoidal), a data-rate offset with optional
// spread-spectrum clocking, and Gaussian noise at the receiver's input.
// Every part is drawn from its own stream of the run's seed, so a run is
// repeatable and turning one part up leaves the draws of the others alone.
#ifndef LINK_SIGNAL_STRESS_H
#define LINK_SIGNAL_STRESS_H

#include <cstdint>
#include <string>

namespace linksim {

struct StressSettings {
    double rjRms = 0.0;             // seconds, rms
    double djPeakToPeak = 0.0;      // seconds, between the two Dirac peaks
    double sjPeakToPeakUi = 0.0;    // unit intervals, peak to peak
    double sjFrequency = 0.0;       // Hz
    double ppm = 0.0;               // data rate above the nominal one, parts per million
    double sscPpm = 0.0;            // triangular down-spread depth, parts per million
    double sscFrequency = 0.0;      // Hz
    double rxNoiseRms = 0.0;        // volts, rms, added before the receiver
    uint64_t seed = 1;

    bool JitterOrRate() const;
    bool Any() const { return JitterOrRate() || rxNoiseRms > 0.0; }
};

// False with one line in error for settings no run can honour.
bool CheckStress(const StressSettings& stress, double unitInterval, std::string& error);

// Standard normal draws on a fully specified generator (the standard
// library's distributions differ between implementations), so that a seed
// gives the same draws everywhere.
class NormalSource {
public:
    explicit NormalSource(uint64_t seed);
    double Next();
    // Uniform in [0, 1) with 53 random bits.
    double Uniform();
    bool Coin();

private:
    uint64_t m_state;
    bool m_haveSpare = false;
    double m_spare = 0.0;
    uint64_t NextBits();
};

// The seed of one part's stream, derived from the run's seed.
uint64_t StreamSeed(uint64_t seed, unsigned stream);

// rms Gaussian noise added to a waveform, block after block.
class NoiseSource {
public:
    NoiseSource(uint64_t seed, double rms);
    void AddTo(double* wave, size_t count);

private:
    NormalSource m_normal;
    double m_rms;
};

}  // namespace linksim

#endif
