// The constant source: after InitialDelay firings of zeros, the constant
// value on every firing.
#ifndef TESSEL_CONST_UNTIMED_H
#define TESSEL_CONST_UNTIMED_H

#include <cstddef>
#include <limits>

#include "CircularBuffer.h"
#include "DFErrorHandler.h"
#include "DFModel.h"

namespace Tessel {

template <typename T, typename B>
class ConstUnTimedBase : public DFModel {
public:
    B Output;
    T Value = T();
    int InitialDelay = 0;
    // Firings since Initialize; it stops counting once it can no longer
    // change the output, so a long run never wraps it back into the delay.
    size_t m_iCount = 0;

    bool Initialize() override {
        m_iCount = 0;
        return UpdateDynamicParameters();
    }

    bool Run() override {
        if (DelayElapsed()) {
            Output[0] = Value;
        } else {
            SetOutputToZero();
        }
        if (m_iCount != std::numeric_limits<size_t>::max()) {
            ++m_iCount;
        }
        return true;
    }

    bool UpdateDynamicParameters() override {
        if (InitialDelay < 0) {
            DFErrorHandler::PostError(this, "InitialDelay must be >= 0");
            return false;
        }
        return true;
    }

    virtual void SetOutputToZero() = 0;

    // Whether the next firing outputs Value. A negative delay (which
    // Initialize refuses) counts as none.
    bool DelayElapsed() const {
        return InitialDelay <= 0 || m_iCount >= static_cast<size_t>(InitialDelay);
    }
};

template <typename T>
class ConstUnTimed : public ConstUnTimedBase<T, CircularBuffer<T>> {
public:
    void SetOutputToZero() override { this->Output[0] = T(); }
};

}  // namespace Tessel

#endif
