// The arithmetic of analyze: spectra, the response's frequency grid, notches
// and a sine's harmonic levels, on audio already captured.
#pragma once

#include <cmath>
#include <complex>
#include <vector>

namespace vsthost {

// The parts of the measurement that are plain arithmetic on captured audio.
namespace analysis {

constexpr double kPi = 3.14159265358979323846;

// The frequencies of the response: 1/48 octave apart, and never more than
// 10 Hz apart, from 20 Hz to min(20 kHz, Nyquist).
std::vector<double> responseFrequencies(double rate);

// The spectrum of a real signal, zero-padded to `size` frames (at least the
// signal's length): bins 0 to size/2.
std::vector<std::complex<double>> spectrum(const std::vector<double>& signal, size_t size);

// A fast FFT length of at least `frames`.
size_t fastLength(size_t frames);

// The complex value of a spectrum of `size` bins at `frequency`, its magnitude
// and its phase linearly interpolated between bins.
std::complex<double> at(const std::vector<std::complex<double>>& bins, size_t size, double rate,
                        double frequency);

// The deep minima of |mid| from 20 Hz to min(20 kHz, Nyquist): at least 20 dB
// below the mean of |left| and |right|, each refined between bins.
std::vector<double> monoNotches(const std::vector<std::complex<double>>& left,
                                const std::vector<std::complex<double>>& right, size_t size,
                                double rate);

// A sine's levels in `signal`, which holds a whole number `cycles` of it: the
// amplitude of the fundamental and of harmonics 2 to `count` (0 past Nyquist),
// and the power of everything else that is not DC.
struct SineLevels {
  double fundamental = 0.0;
  std::vector<double> harmonics;  // amplitudes of harmonics 2, 3, ...
  double residualPower = 0.0;     // all but the fundamental and DC
};
SineLevels sineLevels(const std::vector<double>& signal, long cycles, int count);

// The decay of a response from its energy (the squared samples, summed over
// the channels, from the impulse on): the energy decay curve by backward
// integration (Schroeder) in dB, the reverberation time from the line fitted
// between -5 and -35 dB (T30; from -5 to -25 dB, T20, where the curve falls
// less), and the early decay time (0 to -10 dB), both as 60 dB of fall; NaN
// where the curve does not fall that far.
struct Decay {
  double rt60 = NAN, edt = NAN;
  bool fromT20 = false;
  std::vector<double> time, edc;  // seconds, dB; 1 ms apart
};
Decay decay(const std::vector<double>& energy, double rate);

}  // namespace analysis

}  // namespace vsthost
