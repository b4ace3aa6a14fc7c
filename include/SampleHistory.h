// The newest samples of one stream, kept so that the last Depth() of them
// lie in one run of memory: the array holds the window twice (item
// i + depth mirrors item i) and every new sample is written to both copies.
// For filters that read the same input stream: each reads as many of the
// newest samples as it has taps, backwards from Newest().
#ifndef TESSEL_SAMPLE_HISTORY_H
#define TESSEL_SAMPLE_HISTORY_H

#include <cstddef>
#include <vector>

namespace Tessel {

class SampleHistory {
public:
    // `depth` zeros (at least one), as if that many zero samples had passed.
    void Reset(size_t depth) {
        m_iDepth = depth > 0 ? depth : 1;
        m_Items.assign(2 * m_iDepth, 0.0);
        m_iNewest = 0;
    }

    void Push(double sample) {
        m_iNewest = m_iNewest + 1 == m_iDepth ? 0 : m_iNewest + 1;
        m_Items[m_iNewest] = sample;
        m_Items[m_iNewest + m_iDepth] = sample;
    }

    // The newest sample; the Depth() - 1 older ones lie below it in memory,
    // the next older first. Null before Reset.
    const double* Newest() const { return m_Items.empty() ? nullptr : m_Items.data() + m_iNewest + m_iDepth; }
    size_t Depth() const { return m_iDepth; }

private:
    std::vector<double> m_Items;
    size_t m_iDepth = 0;
    size_t m_iNewest = 0;
};

}  // namespace Tessel

#endif
