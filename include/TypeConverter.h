// Scalar type converters: one item in, the same value in another item type
// out, by a conversion policy.
//
//   TypeConverterAssign  the language's value conversion (exact for int or
//                        float to double, nearest float for int to float)
//   TypeConverterRound   double to int, rounding half away from zero
#ifndef TESSEL_TYPE_CONVERTER_H
#define TESSEL_TYPE_CONVERTER_H

#include <cmath>
#include <limits>
#include <type_traits>

#include "CircularBuffer.h"
#include "DFModel.h"

namespace Tessel {

struct TypeConverterAssign {
    template <typename Out, typename In>
    static Out Convert(In value) {
        return static_cast<Out>(value);
    }
};

struct TypeConverterRound {
    // Half away from zero: 2.5 -> 3, -2.5 -> -3, -0.4 -> 0. The result is
    // always defined: not-a-number gives 0 and a value beyond the int range
    // the nearest int limit, so a wild control value still selects nothing
    // rather than wrapping to some valid-looking number.
    static int ToInt(double value) {
        if (std::isnan(value)) {
            return 0;
        }
        const double rounded = std::round(value);
        if (rounded >= static_cast<double>(std::numeric_limits<int>::max())) {
            return std::numeric_limits<int>::max();
        }
        if (rounded <= static_cast<double>(std::numeric_limits<int>::min())) {
            return std::numeric_limits<int>::min();
        }
        return static_cast<int>(rounded);
    }

    template <typename Out, typename In>
    static Out Convert(In value) {
        static_assert(std::is_same<Out, int>::value, "TypeConverterRound produces int");
        return ToInt(static_cast<double>(value));
    }
};

class TypeConverterBase : public DFModel {};

template <typename BIn, typename BOut, typename Conv>
class TypeConverter : public TypeConverterBase {
public:
    BIn Input;
    BOut Output;
};

template <typename BIn, typename BOut, typename Conv>
class ScalarToScalar : public TypeConverter<BIn, BOut, Conv> {
public:
    bool Run() override {
        this->Output[0] = Conv::template Convert<typename BOut::ItemType>(this->Input[0]);
        return true;
    }
};

}  // namespace Tessel

#endif
