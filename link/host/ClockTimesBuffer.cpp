#include "ClockTimesBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <limits>

namespace linksim {

ClockTimesBuffer::~ClockTimesBuffer() { Release(); }

void ClockTimesBuffer::Release() {
    if (m_mapping != nullptr) munmap(m_mapping, m_mappingBytes);
    m_mapping = nullptr;
    m_mappingBytes = m_usableBytes = 0;
    m_data = nullptr;
}

bool ClockTimesBuffer::Prepare(size_t room, double fill) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t bytes = (room + kGuardEntries) * sizeof(double);
    if (bytes > m_usableBytes) {
        Release();
        const size_t usable = (bytes + page - 1) / page * page;
        void* mapping = mmap(nullptr, usable + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) return false;
        if (mprotect(static_cast<char*>(mapping) + usable, page, PROT_NONE) != 0) {
            munmap(mapping, usable + page);
            return false;
        }
        m_mapping = mapping;
        m_mappingBytes = usable + page;
        m_usableBytes = usable;
    }
    // The guard ends where the untouchable page begins.
    m_data = reinterpret_cast<double*>(static_cast<char*>(m_mapping) + m_usableBytes - bytes);
    m_room = room;
    for (size_t i = 0; i < room; ++i) m_data[i] = fill;
    for (size_t i = room; i < room + kGuardEntries; ++i) m_data[i] = std::numeric_limits<double>::quiet_NaN();
    return true;
}

bool ClockTimesBuffer::GuardTouched() const {
    for (size_t i = m_room; i < m_room + kGuardEntries; ++i) {
        if (!std::isnan(m_data[i])) return true;
    }
    return false;
}

}  // namespace linksim
