// Sample buffers: the port type of every block.
//
// A CircularBuffer<T> is a view onto an array of items it does not own (the
// arc memory of one connection, or a block's private history), addressed by
// relative position from a movable current position with a single
// wrap-around. A CircularBufferBusT<B> is an owned, fixed-length array of such
// views for a port that takes any number of connections.
#ifndef TESSEL_CIRCULAR_BUFFER_H
#define TESSEL_CIRCULAR_BUFFER_H

#include <cstddef>
#include <cstring>

#include "Precondition.h"

namespace Tessel {

class CircularBufferBase {
public:
    explicit CircularBufferBase(size_t iItemSize = 0) : m_iItemSize(iItemSize) {}
    virtual ~CircularBufferBase() {}

    virtual void Copy(void* pSource, void* pDestination, size_t iNumberItems) const = 0;
    virtual void Copy(size_t iSourceStart, CircularBufferBase* pDestination, size_t iDestStart,
                      size_t iNumberItems) const = 0;
    virtual bool Zero(size_t iStart, size_t iNumberItems) = 0;
    virtual void* AllocateMemory(size_t iNumberItems) = 0;
    virtual void DeallocateMemory(void* pBuffer) = 0;

    void SetRate(size_t iRate) {
        m_iRate = iRate;
        if (m_iHistoryDepth < m_iRate) {
            m_iHistoryDepth = m_iRate;
        }
    }
    size_t GetRate() const { return m_iRate; }

    void SetHistoryDepth(size_t iHistoryDepth) {
        TESSEL_PRECONDITION(iHistoryDepth >= m_iRate, "iHistoryDepth >= m_iRate");
        m_iHistoryDepth = iHistoryDepth;
    }
    size_t GetHistoryDepth() const { return m_iHistoryDepth; }

    size_t GetSize() const { return m_iSize; }
    void* GetBufferMemory() const { return m_pBuffer; }
    size_t GetItemSize() const { return m_iItemSize; }
    size_t GetCurrent() const { return m_iCurrent; }

    // Attaches an array; the all-zero form detaches. The history depth is
    // left as it is (SetRate would raise it).
    void SetBuffer(void* pBuffer, size_t iNumberItems, size_t iAdvanceRate, size_t iStartLocation) {
        TESSEL_PRECONDITION((iStartLocation == 0 && iNumberItems == 0 && pBuffer == nullptr) ||
                                (iStartLocation < iNumberItems && iAdvanceRate <= iNumberItems),
                            "(iStartLocation == 0 && iNumberItems ==0 && pBuffer == 0) || "
                            "( iStartLocation < iNumberItems && iAdvanceRate <= iNumberItems)");
        m_pBuffer = pBuffer;
        m_iSize = iNumberItems;
        m_iRate = iAdvanceRate;
        m_iCurrent = iStartLocation;
    }

    // Relative position -> array index, wrapping once by a subtraction (never
    // a division: this runs for every item of every firing).
    size_t IndexAt(size_t iIndex) const {
        // The current item is the one nearly every access asks for; any
        // attached array holds it (SetBuffer requires a start inside it).
        if (iIndex == 0) {
            return m_iCurrent;
        }
        TESSEL_PRECONDITION(iIndex < 2 * m_iSize, "iIndex < 2*m_iSize");
        const size_t position = m_iCurrent + iIndex;
        if (position < m_iSize) {
            return position;
        }
        TESSEL_PRECONDITION(position - m_iSize < m_iSize, "iIndex < m_iSize");
        return position - m_iSize;
    }

    void Advance() {
        TESSEL_PRECONDITION(m_pBuffer != nullptr, "m_pBuffer");
        m_iCurrent = IndexAt(m_iRate);
    }

protected:
    size_t m_iRate = 1;
    size_t m_iHistoryDepth = 1;
    size_t m_iItemSize;
    size_t m_iCurrent = 0;
    void* m_pBuffer = nullptr;
    size_t m_iSize = 0;
};

template <typename T>
class CircularBuffer : public CircularBufferBase {
public:
    typedef T ItemType;

    CircularBuffer() : CircularBufferBase(sizeof(T)) {}
    ~CircularBuffer() override {}

    T& operator[](size_t iIndex) {
        TESSEL_PRECONDITION(m_pBuffer != nullptr, "m_pBuffer");
        return Items()[IndexAt(iIndex)];
    }
    const T& operator[](size_t iIndex) const {
        TESSEL_PRECONDITION(m_pBuffer != nullptr, "m_pBuffer");
        return Items()[IndexAt(iIndex)];
    }

    void Copy(void* pSource, void* pDestination, size_t iNumberItems) const override {
        TESSEL_PRECONDITION(pSource && pDestination && iNumberItems > 0,
                            "pSource && pDestination && iNumberItems > 0");
        std::memmove(pDestination, pSource, iNumberItems * sizeof(T));
    }

    void Copy(size_t iSourceStart, CircularBufferBase* pDestination, size_t iDestStart,
              size_t iNumberItems) const override {
        CircularBuffer<T>* destination = dynamic_cast<CircularBuffer<T>*>(pDestination);
        TESSEL_PRECONDITION(destination != nullptr, "dynamic_cast<CircularBuffer<T>*>(pDestination)");
        if (destination == nullptr) {
            return;
        }
        Copy(iSourceStart, destination, iDestStart, iNumberItems);
    }

    // The same copy between buffers of one item type, as the blocks make it
    // once per firing: no virtual call and no type check.
    void Copy(size_t iSourceStart, CircularBuffer<T>* destination, size_t iDestStart,
              size_t iNumberItems) const {
        TESSEL_PRECONDITION(iNumberItems <= m_iSize && iNumberItems <= destination->GetSize(),
                            "iNumberItems <= m_iSize && iNumberItems <= pDestination->GetSize()");
        if (iNumberItems == 0) {
            return;
        }
        size_t source = IndexAt(iSourceStart);
        size_t target = destination->IndexAt(iDestStart);
        if (iNumberItems == 1) {
            destination->Items()[target] = Items()[source];
            return;
        }
        // Contiguous runs, each limited by the end of either array.
        size_t left = iNumberItems;
        while (left > 0) {
            size_t chunk = left;
            if (m_iSize - source < chunk) chunk = m_iSize - source;
            if (destination->m_iSize - target < chunk) chunk = destination->m_iSize - target;
            std::memmove(destination->Items() + target, Items() + source, chunk * sizeof(T));
            source += chunk;
            target += chunk;
            if (source == m_iSize) source = 0;
            if (target == destination->m_iSize) target = 0;
            left -= chunk;
        }
    }

    bool Zero(size_t iStart, size_t iNumberItems) override {
        TESSEL_PRECONDITION(iStart < m_iSize && iNumberItems <= m_iSize,
                            "iStart < m_iSize && iNumberItems <= m_iSize");
        for (size_t i = 0; i < iNumberItems; ++i) {
            Items()[IndexAt(iStart + i)] = T();
        }
        return true;
    }

    void* AllocateMemory(size_t iNumberItems) override {
        TESSEL_PRECONDITION(iNumberItems > 0, "iNumberItems > 0");
        return new T[iNumberItems]();
    }

    void DeallocateMemory(void* pBuffer) override {
        TESSEL_PRECONDITION(pBuffer != m_pBuffer, "pBuffer != m_pBuffer");
        if (pBuffer == nullptr) {
            delete[] Items();
            m_pBuffer = nullptr;
            m_iCurrent = 0;
            m_iSize = 0;
        } else {
            delete[] static_cast<T*>(pBuffer);
        }
    }

private:
    T* Items() const { return static_cast<T*>(m_pBuffer); }
};

class CircularBufferBus {
public:
    virtual void Initialize(size_t iNumberBuffers) = 0;
    virtual ~CircularBufferBus() {}
    virtual CircularBufferBase* Get(size_t iIndex) = 0;
};

template <typename B>
class CircularBufferBusT : public CircularBufferBus {
public:
    CircularBufferBusT() {}
    ~CircularBufferBusT() override { DestroyBuffers(); }
    CircularBufferBusT(const CircularBufferBusT&) = delete;
    CircularBufferBusT& operator=(const CircularBufferBusT&) = delete;

    // Resizing to the present length keeps the buffers and their attachments.
    void Initialize(size_t iNumberBuffers) override {
        if (iNumberBuffers == m_iSize) {
            return;
        }
        DestroyBuffers();
        m_iSize = iNumberBuffers;
        if (m_iSize > 0) {
            m_pBuffers = new B[m_iSize];
        }
    }

    CircularBufferBase* Get(size_t iIndex) override { return &(*this)[iIndex]; }

    B& operator[](size_t iIndex) {
        TESSEL_PRECONDITION(iIndex < m_iSize, "iIndex < m_iSize");
        return m_pBuffers[iIndex];
    }

    size_t GetSize() const { return m_iSize; }

private:
    // delete[] destroys the elements last to first.
    void DestroyBuffers() {
        delete[] m_pBuffers;
        m_pBuffers = nullptr;
        m_iSize = 0;
    }

    size_t m_iSize = 0;
    B* m_pBuffers = nullptr;
};

}  // namespace Tessel

#endif
