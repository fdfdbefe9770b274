// The spectrum of a 16-bit stereo WAV's left channel, for the clean path's
// test and benchmark: the largest component from 20 Hz to 20 kHz that is not
// a harmonic of the tone played, and the mean (the offset), from a given
// second on. Kaiser-windowed (beta 20: sidelobes near -190 dB, far below the
// 16-bit floor) transforms of --size samples (65536), half overlapping or
// more, power-averaged.
//
//   wav_bands WAV [--from S] [--size N] [--tone HZ] [--nulls HZ] [--max-db DB --max-mean LSB]
//
// --tone leaves out the bins within 10 of each multiple of HZ (the tone's
// harmonics). --nulls reports instead the largest level within 2 bins of
// each multiple of HZ, where noise shifted at HZ has no energy of its own
// (its spectrum follows sinc^2). With --max-db and --max-mean the exit
// status is 1 when the level or |mean| is above them.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kBeta = 20;
constexpr double kPi = 3.14159265358979323846;
constexpr double kLowHz = 20;
constexpr double kHighHz = 20000;

bool ReadLeft(const char* path, std::vector<double>* left, double* rateHz)
{
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) {
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    std::fclose(f);
    if (bytes.size() < 44 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(&bytes[36], "data", 4) != 0) {
        return false;
    }
    *rateHz = bytes[24] | bytes[25] << 8 | bytes[26] << 16 | bytes[27] << 24;
    // The samples alone: tags may follow them.
    const size_t size = static_cast<size_t>(bytes[40] | bytes[41] << 8 | bytes[42] << 16) | size_t{bytes[43]} << 24;
    const size_t end = size < bytes.size() - 44 ? 44 + size : bytes.size();
    for (size_t at = 44; at + 4 <= end; at += 4) {
        left->push_back(static_cast<int16_t>(bytes[at] | bytes[at + 1] << 8));
    }
    return true;
}

double BesselI0(double x)
{
    double sum = 1;
    double term = 1;
    for (int k = 1; k < 200 && term > 1e-30 * sum; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

void Transform(std::vector<std::complex<double>>& a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> turn = std::polar(1.0, -2 * kPi / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < len / 2; ++k, w *= turn) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// Amplitude per bin, in 16-bit units of a sine's peak, power-averaged over
// transforms spread evenly from the first sample to the last, each half
// overlapping the next or more.
std::vector<double> Spectrum(const std::vector<double>& x, size_t n)
{
    std::vector<double> window(n);
    double gain = 0;
    for (size_t i = 0; i < n; ++i) {
        const double r = 2.0 * static_cast<double>(i) / static_cast<double>(n - 1) - 1.0;
        window[i] = BesselI0(kBeta * std::sqrt(1 - r * r)) / BesselI0(kBeta);
        gain += window[i];
    }
    std::vector<double> power(n / 2 + 1, 0.0);
    const size_t spare = x.size() - n;
    const size_t segments = spare == 0 ? 1 : (spare + n / 2 - 1) / (n / 2) + 1;
    for (size_t s = 0; s < segments; ++s) {
        const size_t start = segments == 1 ? 0 : s * spare / (segments - 1);
        std::vector<std::complex<double>> a(n);
        for (size_t i = 0; i < n; ++i) {
            a[i] = x[start + i] * window[i];
        }
        Transform(a);
        for (size_t k = 0; k < power.size(); ++k) {
            power[k] += std::norm(a[k]);
        }
    }
    for (double& p : power) {
        p = 2 * std::sqrt(p / static_cast<double>(segments)) / gain;
    }
    return power;
}

// Distance in Hz from hz to the nearest multiple of step (step > 0).
double FromMultiple(double hz, double step)
{
    const double k = std::round(hz / step);
    return k < 1 ? 1e30 : std::fabs(hz - k * step);
}

struct Options {
    const char* path = nullptr;
    double from = 0;
    double size = 65536;
    double tone = 0;
    double nulls = 0;
    double maxDb = 1e9;
    double maxMean = 1e30;
};

bool Parse(int argc, char** argv, Options* o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        double* value = a == "--from" ? &o->from : a == "--size" ? &o->size : a == "--tone" ? &o->tone
                      : a == "--nulls" ? &o->nulls : a == "--max-db" ? &o->maxDb
                      : a == "--max-mean" ? &o->maxMean : nullptr;
        if (value != nullptr && i + 1 < argc) {
            *value = std::atof(argv[++i]);
        } else if (a[0] != '-' && o->path == nullptr) {
            o->path = argv[i];
        } else {
            return false;
        }
    }
    const size_t n = static_cast<size_t>(o->size);
    return o->path != nullptr && n >= 1024 && (n & (n - 1)) == 0;
}

// The mean, over whole periods of the tone when there is one, so that a
// part period does not count.
double Offset(const std::vector<double>& x, double tone, double rate)
{
    size_t over = x.size();
    const double periods = tone * static_cast<double>(x.size()) / rate;
    if (tone > 0 && periods >= 1) {
        over = static_cast<size_t>(std::floor(periods) * rate / tone);
    }
    double mean = 0;
    for (size_t i = 0; i < over; ++i) {
        mean += x[i] / static_cast<double>(over);
    }
    return mean;
}

// The largest amplitude in the band that counts: near a null, or away from
// every harmonic; *at is its frequency.
double Largest(const std::vector<double>& amplitude, double binHz, const Options& o, double* at)
{
    double largest = 0;
    for (size_t k = 0; k < amplitude.size(); ++k) {
        const double hz = static_cast<double>(k) * binHz;
        const bool near = o.nulls > 0 ? FromMultiple(hz, o.nulls) <= 2 * binHz
                                      : o.tone > 0 && FromMultiple(hz, o.tone) <= 10 * binHz;
        if (hz >= kLowHz && hz <= kHighHz && near == (o.nulls > 0) && amplitude[k] > largest) {
            largest = amplitude[k];
            *at = hz;
        }
    }
    return largest;
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!Parse(argc, argv, &o)) {
        std::fprintf(stderr, "usage: wav_bands WAV [--from S] [--size N (a power of two, 1024 or more)] "
                             "[--tone HZ] [--nulls HZ] [--max-db DB --max-mean LSB]\n");
        return 2;
    }
    std::vector<double> all;
    double rate = 0;
    if (!ReadLeft(o.path, &all, &rate)) {
        std::fprintf(stderr, "wav_bands: cannot read %s as a 16-bit stereo WAV\n", o.path);
        return 2;
    }
    const size_t samples = static_cast<size_t>(o.size);
    const size_t first = std::min(all.size(), static_cast<size_t>(o.from * rate));
    const std::vector<double> x(all.begin() + static_cast<std::ptrdiff_t>(first), all.end());
    if (x.size() < samples) {
        std::fprintf(stderr, "wav_bands: %s: fewer than %zu samples after %g s\n", o.path, samples, o.from);
        return 2;
    }
    const double mean = Offset(x, o.tone, rate);
    double at = 0;
    const double largest = Largest(Spectrum(x, samples), rate / static_cast<double>(samples), o, &at);
    const double db = largest > 0 ? 20 * std::log10(largest / 32768) : -INFINITY;
    std::printf("%s %.1f dBFS at %.1f Hz; mean %+.4f\n", o.nulls > 0 ? "nulls" : "largest", db, at, mean);
    return db <= o.maxDb && std::fabs(mean) <= o.maxMean ? 0 : 1;
}
