// The arc memory of a schematic: one item array per connection, owned here
// and attached to the views of the ports on the connection.
//
// A schematic names its connections with an enum whose values number them
// from 1 in creation order; NArcs is how many there are. Memory is created
// with its item type, every port on the connection is attached to it with
// rate 1 and start 0, and it is read and written by name with Item<T>. The
// arrays are freed in connection order, each with its own type, by
// DeleteAll and by the destructor; the views are left as they are.
#ifndef TESSEL_ARC_MEMORY_H
#define TESSEL_ARC_MEMORY_H

#include <cstddef>
#include <initializer_list>

#include "CircularBuffer.h"

namespace Tessel {

template <typename TArc, size_t NArcs>
class ArcMemory {
public:
    ArcMemory() = default;
    ~ArcMemory() { DeleteAll(); }
    // The arrays are owned.
    ArcMemory(const ArcMemory&) = delete;
    ArcMemory& operator=(const ArcMemory&) = delete;

    // `items` items of T, value-initialised (so that even an item read
    // before its first write is a defined 0), replacing what the connection
    // had, and attached to every view in `ports` (null entries are skipped).
    template <typename T>
    T* Create(TArc arc, size_t items, std::initializer_list<CircularBufferBase*> ports) {
        Record& record = At(arc);
        Free(record);
        T* memory = new T[items]();
        record.items = memory;
        record.free = &FreeArray<T>;
        for (CircularBufferBase* port : ports) {
            if (port != nullptr) {
                port->SetBuffer(memory, items, 1, 0);
            }
        }
        return memory;
    }

    // Item 0 of the connection, which must exist and hold items of type T.
    // No check on the hot path: the schematic's connection table fixes the
    // types, and its tests compare every firing with the plain one.
    template <typename T>
    T& Item(TArc arc) {
        return *static_cast<T*>(m_Records[Index(arc)].items);
    }

    // The connection's array, null when not created.
    const void* Memory(TArc arc) const { return m_Records[Index(arc)].items; }

    // Frees every array in connection order and forgets it.
    void DeleteAll() {
        for (Record& record : m_Records) {
            Free(record);
        }
    }

    static constexpr size_t Count() { return NArcs; }

private:
    struct Record {
        void* items = nullptr;
        void (*free)(void*) = nullptr;
    };

    template <typename T>
    static void FreeArray(void* items) {
        delete[] static_cast<T*>(items);
    }
    static void Free(Record& record) {
        if (record.items != nullptr) {
            record.free(record.items);
            record.items = nullptr;
        }
    }
    static constexpr size_t Index(TArc arc) { return static_cast<size_t>(arc) - 1; }
    Record& At(TArc arc) { return m_Records[Index(arc)]; }

    Record m_Records[NArcs];
};

// True when `arcs` lists the numbers 1, 2, ... in order: for a static_assert
// that a connection enum follows its table.
template <typename TArc, size_t N>
constexpr bool NumberedInOrder(const TArc (&arcs)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (static_cast<size_t>(arcs[i]) != i + 1) {
            return false;
        }
    }
    return true;
}

}  // namespace Tessel

#endif
