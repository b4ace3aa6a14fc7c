#include "Fft.h"

#include <algorithm>
#include <cmath>

namespace linksim {

namespace {

const double kTwoPi = 6.283185307179586476925286766559;
const size_t kPartsStagger = 24;

// cos and sin of 2 pi m / n for any m, n a power of two of at least 4: the
// first octant is computed, every other angle is an exact reflection of one
// of its angles, so large powers are as accurate as small ones.
class UnitCircle {
public:
    explicit UnitCircle(size_t n) : m_n(n), m_quarter(n / 4), m_eighth(n / 8) {
        for (size_t j = 0; j <= m_eighth; ++j) {
            const double angle = kTwoPi * double(j) / double(n);
            m_cos.push_back(std::cos(angle));
            m_sin.push_back(std::sin(angle));
        }
    }

    void At(size_t m, double& cosine, double& sine) const {
        m %= m_n;
        const size_t quarterTurns = m / m_quarter;
        const size_t rest = m % m_quarter;
        double c = 0.0;
        double s = 0.0;
        if (rest <= m_eighth) {
            c = m_cos[rest];
            s = m_sin[rest];
        } else {
            c = m_sin[m_quarter - rest];
            s = m_cos[m_quarter - rest];
        }
        switch (quarterTurns) {
            case 0: cosine = c; sine = s; break;
            case 1: cosine = -s; sine = c; break;
            case 2: cosine = -c; sine = -s; break;
            default: cosine = s; sine = -c; break;
        }
    }

private:
    size_t m_n;
    size_t m_quarter;
    size_t m_eighth;
    std::vector<double> m_cos;
    std::vector<double> m_sin;
};

// The eight arrays of one group: real and imaginary parts of its quarters.
// Each kernel takes them as separate restrict pointers: they never overlap,
// and saying so lets the compiler run the butterflies in vector registers.
#define LINK_QUARTERS                                                                                   \
    double* __restrict ar, double* __restrict ai, double* __restrict br, double* __restrict bi,         \
        double* __restrict cr, double* __restrict ci, double* __restrict dr, double* __restrict di
#define LINK_TWIDDLES                                                                                   \
    const double* __restrict w1r, const double* __restrict w1i, const double* __restrict w2r,           \
        const double* __restrict w2i, const double* __restrict w3r, const double* __restrict w3i

// Two radix-2 steps of decimation in frequency at once, on the four
// quarters a, b, c, d of one group: the sums and differences of the halves,
// then of the quarters, each difference turned by its twiddle.
void ForwardRadix4(size_t quarter, LINK_QUARTERS, LINK_TWIDDLES) {
    for (size_t k = 0; k < quarter; ++k) {
        const double t0r = ar[k] + cr[k], t0i = ai[k] + ci[k];
        const double t1r = ar[k] - cr[k], t1i = ai[k] - ci[k];
        const double t2r = br[k] + dr[k], t2i = bi[k] + di[k];
        // (b - d) turned by -i.
        const double t3r = bi[k] - di[k], t3i = dr[k] - br[k];
        ar[k] = t0r + t2r;
        ai[k] = t0i + t2i;
        const double y1r = t0r - t2r, y1i = t0i - t2i;
        br[k] = y1r * w2r[k] - y1i * w2i[k];
        bi[k] = y1r * w2i[k] + y1i * w2r[k];
        const double y2r = t1r + t3r, y2i = t1i + t3i;
        cr[k] = y2r * w1r[k] - y2i * w1i[k];
        ci[k] = y2r * w1i[k] + y2i * w1r[k];
        const double y3r = t1r - t3r, y3i = t1i - t3i;
        dr[k] = y3r * w3r[k] - y3i * w3i[k];
        di[k] = y3r * w3i[k] + y3i * w3r[k];
    }
}

// The inverse of ForwardRadix4 (times 4): the quarters turned back by the
// conjugate twiddles, then combined.
void InverseRadix4(size_t quarter, LINK_QUARTERS, LINK_TWIDDLES) {
    for (size_t k = 0; k < quarter; ++k) {
        const double Ar = ar[k], Ai = ai[k];
        const double Br = br[k] * w2r[k] + bi[k] * w2i[k], Bi = bi[k] * w2r[k] - br[k] * w2i[k];
        const double Cr = cr[k] * w1r[k] + ci[k] * w1i[k], Ci = ci[k] * w1r[k] - cr[k] * w1i[k];
        const double Dr = dr[k] * w3r[k] + di[k] * w3i[k], Di = di[k] * w3r[k] - dr[k] * w3i[k];
        const double sr = Ar + Br, si = Ai + Bi;
        const double dfr = Ar - Br, dfi = Ai - Bi;
        const double ur = Cr + Dr, ui = Ci + Di;
        // (C - D) turned by +i.
        const double vr = Di - Ci, vi = Cr - Dr;
        ar[k] = sr + ur;
        ai[k] = si + ui;
        cr[k] = sr - ur;
        ci[k] = si - ui;
        br[k] = dfr + vr;
        bi[k] = dfi + vi;
        dr[k] = dfr - vr;
        di[k] = dfi - vi;
    }
}

#undef LINK_QUARTERS
#undef LINK_TWIDDLES

typedef void (*Radix4Kernel)(size_t, double*, double*, double*, double*, double*, double*, double*, double*,
                             const double*, const double*, const double*, const double*, const double*,
                             const double*);

// One radix-4 pass with twiddles over every group of the transform.
void RunRadix4Pass(Radix4Kernel kernel, double* re, double* im, size_t n, size_t quarter, const double* twiddles) {
    const double* w = twiddles;
    const size_t q = quarter;
    for (size_t g = 0; g < n; g += 4 * q) {
        kernel(q, re + g, im + g, re + g + q, im + g + q, re + g + 2 * q, im + g + 2 * q, re + g + 3 * q,
               im + g + 3 * q, w, w + q, w + 2 * q, w + 3 * q, w + 4 * q, w + 5 * q);
    }
}

// The last radix-4 pass has groups of four and no twiddles.
void ForwardRadix4Groups(double* re, double* im, size_t n) {
    for (size_t g = 0; g < n; g += 4) {
        const double t0r = re[g] + re[g + 2], t0i = im[g] + im[g + 2];
        const double t1r = re[g] - re[g + 2], t1i = im[g] - im[g + 2];
        const double t2r = re[g + 1] + re[g + 3], t2i = im[g + 1] + im[g + 3];
        const double t3r = im[g + 1] - im[g + 3], t3i = re[g + 3] - re[g + 1];
        re[g] = t0r + t2r;
        im[g] = t0i + t2i;
        re[g + 1] = t0r - t2r;
        im[g + 1] = t0i - t2i;
        re[g + 2] = t1r + t3r;
        im[g + 2] = t1i + t3i;
        re[g + 3] = t1r - t3r;
        im[g + 3] = t1i - t3i;
    }
}

void InverseRadix4Groups(double* re, double* im, size_t n) {
    for (size_t g = 0; g < n; g += 4) {
        const double sr = re[g] + re[g + 1], si = im[g] + im[g + 1];
        const double dr = re[g] - re[g + 1], di = im[g] - im[g + 1];
        const double ur = re[g + 2] + re[g + 3], ui = im[g + 2] + im[g + 3];
        const double vr = im[g + 3] - im[g + 2], vi = re[g + 2] - re[g + 3];
        re[g] = sr + ur;
        im[g] = si + ui;
        re[g + 2] = sr - ur;
        im[g + 2] = si - ui;
        re[g + 1] = dr + vr;
        im[g + 1] = di + vi;
        re[g + 3] = dr - vr;
        im[g + 3] = di - vi;
    }
}

// Sums and differences of neighbours: the radix-2 pass of an odd power of
// two, the same both ways.
void Radix2Pairs(double* re, double* im, size_t n) {
    for (size_t g = 0; g < n; g += 2) {
        const double ur = re[g], ui = im[g], vr = re[g + 1], vi = im[g + 1];
        re[g] = ur + vr;
        im[g] = ui + vi;
        re[g + 1] = ur - vr;
        im[g + 1] = ui - vi;
    }
}

}  // namespace

size_t NextPowerOfTwo(size_t n) {
    size_t power = 1;
    while (power < n) {
        power <<= 1;
    }
    return power;
}

Fft::Fft(size_t size) : m_size(NextPowerOfTwo(size)), m_radix2Pass(false), m_bitReversed(m_size) {
    int bits = 0;
    while ((size_t(1) << bits) < m_size) {
        ++bits;
    }
    m_radix2Pass = bits % 2 == 1;
    // i's reversal is that of i / 2 moved down a place, with i's lowest bit
    // on top.
    for (size_t i = 1; i < m_size; ++i) {
        m_bitReversed[i] = (m_bitReversed[i >> 1] >> 1) | ((i & 1) << (bits - 1));
    }
    if (m_size < 4) {
        return;
    }
    const UnitCircle circle(m_size);
    for (size_t quarter = m_size / 4; quarter >= 1; quarter /= 4) {
        m_passes.push_back({quarter, m_twiddles.size()});
        if (quarter == 1) {
            break;  // the twiddle-free pass needs no table
        }
        // w = exp(-2 pi i / (4 quarter)) is the unit root of index m_size / (4 quarter).
        const size_t step = m_size / (4 * quarter);
        m_twiddles.resize(m_twiddles.size() + 6 * quarter);
        double* table = m_twiddles.data() + m_passes.back().offset;
        for (size_t power = 1; power <= 3; ++power) {
            double* cosine = table + (2 * power - 2) * quarter;
            double* sine = table + (2 * power - 1) * quarter;
            for (size_t k = 0; k < quarter; ++k) {
                circle.At(power * k * step, cosine[k], sine[k]);
                sine[k] = -sine[k];
            }
        }
    }
}

void Fft::ForwardToBitReversed(double* re, double* im) const {
    for (const Radix4Pass& pass : m_passes) {
        if (pass.quarter == 1) {
            ForwardRadix4Groups(re, im, m_size);
            continue;
        }
        RunRadix4Pass(ForwardRadix4, re, im, m_size, pass.quarter, m_twiddles.data() + pass.offset);
    }
    if (m_radix2Pass) {
        Radix2Pairs(re, im, m_size);
    }
}

void Fft::InverseFromBitReversed(double* re, double* im) const {
    if (m_radix2Pass) {
        Radix2Pairs(re, im, m_size);
    }
    for (auto pass = m_passes.rbegin(); pass != m_passes.rend(); ++pass) {
        if (pass->quarter == 1) {
            InverseRadix4Groups(re, im, m_size);
            continue;
        }
        RunRadix4Pass(InverseRadix4, re, im, m_size, pass->quarter, m_twiddles.data() + pass->offset);
    }
}

void Fft::Transform(std::vector<Complex>& data, bool inverse) const {
    // One allocation, the imaginary parts not a power of two after the real
    // ones: arrays read together at such a distance share cache sets.
    std::vector<double> parts(2 * m_size + kPartsStagger);
    double* re = parts.data();
    double* im = re + m_size + kPartsStagger;
    if (inverse) {
        for (size_t k = 0; k < m_size; ++k) {
            re[m_bitReversed[k]] = data[k].real();
            im[m_bitReversed[k]] = data[k].imag();
        }
        InverseFromBitReversed(re, im);
        for (size_t k = 0; k < m_size; ++k) data[k] = Complex(re[k], im[k]);
    } else {
        for (size_t k = 0; k < m_size; ++k) {
            re[k] = data[k].real();
            im[k] = data[k].imag();
        }
        ForwardToBitReversed(re, im);
        for (size_t k = 0; k < m_size; ++k) data[k] = Complex(re[m_bitReversed[k]], im[m_bitReversed[k]]);
    }
}

void Fft::Forward(std::vector<Complex>& data) const { Transform(data, false); }

void Fft::Inverse(std::vector<Complex>& data) const {
    Transform(data, true);
    const double scale = 1.0 / double(m_size);
    for (Complex& value : data) {
        value = Complex(value.real() * scale, value.imag() * scale);
    }
}

void Fft::InverseUnscaled(std::vector<Complex>& data) const { Transform(data, true); }

namespace {
// Below this many multiply-adds the direct sum is faster than the FFTs.
const size_t kDirectConvolutionLimit = 1 << 16;
}  // namespace

std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.empty() || b.empty()) {
        return {};
    }
    const size_t length = a.size() + b.size() - 1;
    std::vector<double> result(length, 0.0);
    if (a.size() * b.size() <= kDirectConvolutionLimit) {
        for (size_t i = 0; i < a.size(); ++i) {
            for (size_t j = 0; j < b.size(); ++j) {
                result[i + j] += a[i] * b[j];
            }
        }
        return result;
    }
    // Both real inputs travel in one complex transform: a in the real part,
    // b in the imaginary part; their spectra are separated by symmetry,
    // bin k against bin n - k, wherever the transform left them.
    const Fft fft(length);
    const size_t n = fft.Size();
    std::vector<double> parts(4 * n + 6 * kPartsStagger, 0.0);
    double* re = parts.data();
    double* im = re + n + kPartsStagger;
    double* productRe = im + n + 2 * kPartsStagger;
    double* productIm = productRe + n + 3 * kPartsStagger;
    std::copy(a.begin(), a.end(), re);
    std::copy(b.begin(), b.end(), im);
    fft.ForwardToBitReversed(re, im);
    for (size_t position = 0; position < n; ++position) {
        const size_t bin = fft.BitReversed(position);
        const size_t mirror = fft.BitReversed((n - bin) % n);
        const double zr = re[position], zi = im[position];
        const double mr = re[mirror], mi = -im[mirror];  // conj(Z[n - k])
        // A = (Z + conj Z') / 2, B = (Z - conj Z') / 2i.
        const double spectrumAr = 0.5 * (zr + mr), spectrumAi = 0.5 * (zi + mi);
        const double spectrumBr = 0.5 * (zi - mi), spectrumBi = -0.5 * (zr - mr);
        productRe[position] = spectrumAr * spectrumBr - spectrumAi * spectrumBi;
        productIm[position] = spectrumAr * spectrumBi + spectrumAi * spectrumBr;
    }
    fft.InverseFromBitReversed(productRe, productIm);
    const double scale = 1.0 / double(n);
    for (size_t i = 0; i < length; ++i) {
        result[i] = productRe[i] * scale;
    }
    return result;
}

}  // namespace linksim
