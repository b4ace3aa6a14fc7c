// Watches the receiver's adaptation log grow during a run, so that each
// measurement it records can be placed in time: the bits the receiver had
// been given when its line appeared (to within one AMI_GetWave call).
#ifndef LINK_HOST_ADAPT_LOG_WATCHER_H
#define LINK_HOST_ADAPT_LOG_WATCHER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace linksim {

class AdaptLogWatcher {
public:
    explicit AdaptLogWatcher(std::string path) : m_path(std::move(path)) {}

    // Call after each AMI_GetWave with the bits given to the receiver so far.
    void Check(size_t bitsDone);
    // One entry per complete line, in order.
    const std::vector<size_t>& LineBits() const { return m_lineBits; }

private:
    std::string m_path;
    uintmax_t m_bytesRead = 0;
    std::vector<size_t> m_lineBits;
};

}  // namespace linksim

#endif
