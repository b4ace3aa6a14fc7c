#include <gtest/gtest.h>

#include <vector>

#include "DFErrorHandler.h"
#include "DFModel.h"

namespace {

class PlainBlock : public Tessel::DFModel {};

// A schematic of three children that calls each child's Setup even after one
// fails, as every composite does.
class Recorder : public Tessel::DFModel {
public:
    Recorder(std::vector<int>& calls, int id, bool ok) : m_calls(calls), m_id(id), m_ok(ok) {}
    bool Setup() override {
        m_calls.push_back(m_id);
        return m_ok;
    }

private:
    std::vector<int>& m_calls;
    int m_id;
    bool m_ok;
};

}  // namespace

TEST(DFModel, DefaultOperationsSucceed) {
    PlainBlock block;
    Tessel::DFModel& model = block;
    EXPECT_TRUE(model.Setup());
    EXPECT_TRUE(model.Initialize());
    EXPECT_TRUE(model.Run());
    EXPECT_TRUE(model.Finalize());
    EXPECT_TRUE(model.UpdateDynamicParameters());
}

TEST(DFModel, CompositeSetupCallsEveryChildAndCombinesWithAnd) {
    std::vector<int> calls;
    Recorder first(calls, 1, true), second(calls, 2, false), third(calls, 3, true);
    Tessel::DFModel* children[] = {&first, &second, &third};
    bool ok = true;
    for (Tessel::DFModel* child : children) {
        ok = child->Setup() && ok;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 3}));
}

TEST(TimedDFModel, CounterCarriesIntoTheHighWordAndIsCopied) {
    Tessel::TimedDFModel timed;
    EXPECT_EQ(timed.CalculateLatency(), static_cast<int>(0x80004001u));
    EXPECT_EQ(timed.PropagateCharacterizationFrequency(), static_cast<int>(0x80004001u));
    for (int i = 0; i < 3; ++i) timed.Advance();
    Tessel::TimedDFModel copy(timed);
    EXPECT_EQ(copy.GetCount(), 3u);

    class Preloaded : public Tessel::TimedDFModel {
    public:
        explicit Preloaded(uint64_t count) { m_iCount = count; }
    } preloaded(0xFFFFFFFFull);
    preloaded.Advance();
    EXPECT_EQ(preloaded.GetCount(), 0x100000000ull);
}

TEST(DFErrorHandler, PostsTheTextAndANewlineToStandardError) {
    testing::internal::CaptureStderr();
    Tessel::DFErrorHandler::PostWarning(nullptr, "SampleRate must be > 0.0");
    Tessel::DFErrorHandler::PostError(nullptr, "second");
    Tessel::DFErrorHandler::ClearProgress(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "SampleRate must be > 0.0\nsecond\n");
    EXPECT_FALSE(Tessel::DFErrorHandler::StopRequested());
}
