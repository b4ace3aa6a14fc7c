#include <gtest/gtest.h>

#include <vector>

#include "CircularBuffer.h"

using Tessel::CircularBuffer;
using Tessel::CircularBufferBusT;

namespace {

// A view over a caller-owned array, positioned at an absolute index.
void Attach(CircularBuffer<int>& view, std::vector<int>& memory, size_t current, size_t rate = 1) {
    view.SetBuffer(memory.data(), memory.size(), rate, current);
}

}  // namespace

TEST(CircularBuffer, RateRaisesHistoryDepthButNeverLowersIt) {
    CircularBuffer<double> buffer;
    EXPECT_EQ(buffer.GetRate(), 1u);
    EXPECT_EQ(buffer.GetHistoryDepth(), 1u);
    EXPECT_EQ(buffer.GetSize(), 0u);
    EXPECT_EQ(buffer.GetItemSize(), sizeof(double));
    buffer.SetHistoryDepth(3);
    buffer.SetRate(5);
    EXPECT_EQ(buffer.GetHistoryDepth(), 5u);
    buffer.SetHistoryDepth(9);
    buffer.SetRate(2);
    EXPECT_EQ(buffer.GetHistoryDepth(), 9u);
}

TEST(CircularBuffer, RelativePositionsWrapOnce) {
    std::vector<int> memory{10, 11, 12, 13};
    CircularBuffer<int> view;
    Attach(view, memory, 3);
    EXPECT_EQ(view.IndexAt(0), 3u);
    EXPECT_EQ(view.IndexAt(1), 0u);
    EXPECT_EQ(view.IndexAt(4), 3u);
    EXPECT_EQ(view[1], 10);
    Attach(view, memory, 0);
    EXPECT_EQ(view.IndexAt(4), 0u);
    EXPECT_EQ(view.IndexAt(7), 3u);
}

TEST(CircularBuffer, AdvanceMovesByTheRate) {
    std::vector<int> memory(4);
    CircularBuffer<int> view;
    Attach(view, memory, 2, 3);
    view.Advance();
    EXPECT_EQ(view.GetCurrent(), 1u);
    EXPECT_EQ(view.GetHistoryDepth(), 1u) << "SetBuffer leaves the history depth alone";
}

TEST(CircularBuffer, CopyBetweenViewsGoesInContiguousRunsAndKeepsPositions) {
    std::vector<int> source{0, 1, 2, 3, 4, 5};
    std::vector<int> target(5, -1);
    CircularBuffer<int> from, to;
    Attach(from, source, 4);
    Attach(to, target, 1);
    from.Copy(0, &to, 0, 5);
    // Source items 4,5,0,1,2 land at destination indexes 1,2,3,4,0.
    EXPECT_EQ(target, (std::vector<int>{2, 4, 5, 0, 1}));
    EXPECT_EQ(from.GetCurrent(), 4u);
    EXPECT_EQ(to.GetCurrent(), 1u);

    std::vector<int> single(3, 7);
    CircularBuffer<int> one;
    Attach(one, single, 2);
    from.Copy(1, &one, 0, 1);
    EXPECT_EQ(single[2], 5);
    from.Copy(1, &one, 0, 0);
    EXPECT_EQ(single, (std::vector<int>{7, 7, 5}));
}

TEST(CircularBuffer, ZeroWrapsAroundTheEnd) {
    std::vector<int> memory{1, 2, 3, 4};
    CircularBuffer<int> view;
    Attach(view, memory, 0);
    EXPECT_TRUE(view.Zero(2, 3));
    EXPECT_EQ(memory, (std::vector<int>{0, 2, 0, 0}));
    EXPECT_TRUE(view.Zero(1, 0));
    EXPECT_EQ(memory[1], 2);
}

TEST(CircularBuffer, AllocateAndDeallocateOwnMemory) {
    CircularBuffer<double> view;
    void* memory = view.AllocateMemory(3);
    view.SetBuffer(memory, 3, 1, 0);
    EXPECT_EQ(view[2], 0.0);
    void* other = view.AllocateMemory(2);
    view.DeallocateMemory(other);  // frees the other array, keeps the view
    EXPECT_EQ(view.GetSize(), 3u);
    view.DeallocateMemory(nullptr);  // frees the attached array
    EXPECT_EQ(view.GetSize(), 0u);
    EXPECT_EQ(view.GetBufferMemory(), nullptr);
}

TEST(CircularBufferBus, ResizingToTheSameLengthKeepsAttachments) {
    std::vector<int> memory(2);
    CircularBufferBusT<CircularBuffer<int>> bus;
    bus.Initialize(2);
    bus[1].SetBuffer(memory.data(), 2, 1, 1);
    bus.Initialize(2);
    EXPECT_EQ(bus.Get(1)->GetBufferMemory(), memory.data());
    bus.Initialize(3);
    EXPECT_EQ(bus.GetSize(), 3u);
    EXPECT_EQ(bus[1].GetBufferMemory(), nullptr);
    bus.Initialize(0);
    EXPECT_EQ(bus.GetSize(), 0u);
}

#if TESSEL_CHECKED
TEST(CircularBufferDeathTest, CheckedBuildStopsOnBrokenPreconditions) {
    std::vector<int> memory(4);
    CircularBuffer<int> fresh;
    EXPECT_DEATH(fresh[0], "m_pBuffer");
    EXPECT_DEATH(fresh.DeallocateMemory(nullptr), "pBuffer != m_pBuffer");
    CircularBuffer<int> view;
    view.SetRate(3);
    EXPECT_DEATH(view.SetHistoryDepth(2), "iHistoryDepth >= m_iRate");
    view.SetBuffer(nullptr, 0, 0, 0);
    EXPECT_DEATH(view.SetBuffer(memory.data(), 4, 5, 0), "iAdvanceRate <= iNumberItems");
    EXPECT_DEATH(view.SetBuffer(memory.data(), 4, 1, 4), "iStartLocation < iNumberItems");
    view.SetBuffer(memory.data(), 4, 1, 3);
    EXPECT_DEATH(view.IndexAt(5), "iIndex < m_iSize");
    EXPECT_DEATH(view.IndexAt(8), "iIndex < 2\\*m_iSize");
    std::vector<int> small(3);
    CircularBuffer<int> target;
    target.SetBuffer(small.data(), 3, 1, 0);
    EXPECT_DEATH(view.Copy(0, &target, 0, 4), "iNumberItems <= m_iSize");
    CircularBuffer<double> other;
    EXPECT_DEATH(view.Copy(0, &other, 0, 1), "dynamic_cast");
    CircularBufferBusT<CircularBuffer<int>> bus;
    EXPECT_DEATH(bus[0], "iIndex < m_iSize");
}
#endif
