#include "AdaptationCsv.h"

#include <locale>
#include <sstream>

namespace linksim {

std::string AdaptationCsv(const std::vector<AdaptMeasurement>& measurements, const std::vector<size_t>& lineBits) {
    std::ostringstream csv;
    csv.imbue(std::locale::classic());
    csv.precision(9);
    csv << "measurement,by_bit,ctle,dfe1_v,dfe2_v,dfe3_v,dfe4_v,dfe5_v,eye_width_ui,eye_height_v\n";
    for (size_t i = 0; i < measurements.size(); ++i) {
        const AdaptMeasurement& m = measurements[i];
        csv << i + 1 << ',';
        if (i < lineBits.size()) csv << lineBits[i];
        csv << ',' << m.ctle;
        for (double tap : m.taps) csv << ',' << tap;
        csv << ',' << m.eyeWidth << ',' << m.eyeHeight << '\n';
    }
    return csv.str();
}

}  // namespace linksim
