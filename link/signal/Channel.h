// The channel between the transmitter and the receiver, as an impulse
// response on the simulation's sample grid.
//
// Impulse responses follow the IBIS-AMI convention: samples of the
// continuous impulse response h(t) in 1/s at t = k * sampleInterval, so that
// sum(h) * sampleInterval is the DC gain and a waveform is filtered as
// y[n] = sampleInterval * sum_k h[k] x[n-k].
#ifndef LINK_CHANNEL_H
#define LINK_CHANNEL_H

#include <istream>
#include <limits>
#include <string>
#include <vector>

namespace linksim {

// The channel a run uses, as the user chose it.
enum class ChannelKind { Loss, File, Touchstone };

struct ChannelSpec {
    ChannelKind kind = ChannelKind::Loss;
    double lossDb = 12.0;  // at the Nyquist frequency
    std::string path;      // two-column impulse response file, or Touchstone file
    // A .s2p's differential reference in ohms; NaN: the file's R as it stands.
    double s2pReferenceOhms = std::numeric_limits<double>::quiet_NaN();
};

// The channel's impulse response (1/s) on the grid of samplesPerUi samples
// per unit interval at bitRate, for the channels given in time (a
// Touchstone file needs its ports and buffers: TouchstoneChannel.h).
// False with one line in error when it cannot be had. A relative path is
// taken from the current working folder.
bool BuildChannelImpulse(const ChannelSpec& spec, double bitRate, int samplesPerUi, std::vector<double>& impulse,
                         std::string& error);

// A lossy transmission line with a loss of lossDbAtNyquist dB at half the
// bit rate, unit gain at DC, and minimum phase (hence causal). The loss in
// dB grows linearly with frequency (dielectric) and with its square root
// (skin effect, from a hundredth of Nyquist up); skinShare is the skin
// effect's share of the loss at Nyquist. The response is cut where what
// follows holds a millionth of its energy, and the area of the cut tail is
// put back in what is kept, so the DC gain stays 1.
std::vector<double> LossyChannelImpulse(double lossDbAtNyquist, double bitRate, int samplesPerUi,
                                        double skinShare = 0.5);

// The minimum-phase filter taps of a magnitude response given as the natural
// log of |H| at the frequencies k / (N * dt), k = 0 .. N/2 (N a power of two):
// all N taps of the circular result, so that callers can see how little of
// it wraps around to negative times.
std::vector<double> MinimumPhaseTaps(const std::vector<double>& logMagnitude);

// Resamples a tabulated impulse response (1/s at strictly increasing times)
// onto the grid k * sampleInterval, k >= 0. A table as coarse as the grid or
// coarser is interpolated linearly (a table on the grid is copied); a finer
// one is averaged over each grid interval, which keeps its area, however
// narrow its peaks. Times before 0 are moved so that the response starts at 0.
std::vector<double> ResampleImpulse(const std::vector<double>& times, const std::vector<double>& values,
                                    double sampleInterval);

// Reads a two-column text file (time in s, impulse response in 1/s,
// separated by blanks, commas or semicolons; blank lines, lines starting
// with '#', '!', '%' or '//', and column names above the first numbers are
// skipped) and resamples it. On failure returns false with one line of
// explanation in error; a table spanning more than a microsecond (times
// not in seconds) and a response CheckChannelImpulse refuses fail too.
bool LoadImpulseFile(const std::string& path, double sampleInterval, std::vector<double>& impulse,
                     std::string& error);
// The same from a stream, as the file at path would be read.
bool ReadImpulseTable(std::istream& file, const std::string& path, double sampleInterval,
                      std::vector<double>& impulse, std::string& error);

// A response a run can use: finite, not all zeros, and gaining no more than
// a thousandfold (sum |h| * sampleInterval), which a response in 1/s never
// does. False with one line in error, which starts with what.
bool CheckChannelImpulse(const std::vector<double>& impulse, double sampleInterval, const std::string& what,
                         std::string& error);

// How much of the first `limit` taps to keep (at least minimum) so that
// what is cut off holds at most energyShare of their energy.
size_t CutLength(const std::vector<double>& taps, size_t limit, size_t minimum, double energyShare);

// sum(h) * sampleInterval.
double DcGain(const std::vector<double>& impulse, double sampleInterval);

}  // namespace linksim

#endif
