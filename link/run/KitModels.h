// The kit's own models, which the host knows by name: the settings they run
// with unless told otherwise, and what the host knows of how they behave.
// Every other model is taken only as its .ami file describes it.
#ifndef LINK_RUN_KIT_MODELS_H
#define LINK_RUN_KIT_MODELS_H

#include <cstring>
#include <string>

namespace linksim {

struct KitModel {
    const char* name;
    bool transmitter;
    // Set unless the command line sets it (the receiver's equalised output,
    // which gives an eye); null: none.
    const char* defaultParameter;
    const char* defaultValue;
    // The output is the retimed decision when this parameter has this value.
    const char* retimedParameter;
    double retimedValue;
    // The driver's pad capacitance is part of its tabulated responses.
    bool padInResponses;
    // Why its clock may stay on the data's crossings, and what to try.
    const char* clockOnCrossingsAdvice;
};

constexpr KitModel kKitModels[] = {
    {"Orvex_TX_AMI_01142014", true, nullptr, nullptr, nullptr, 0.0, true, nullptr},
    {"Orvex_RX_AMI_05272013", false, "Rx_config", "1", "Rx_config", 0.0, false,
     "it stays on the crossings when they are split in two from the start, "
     "typically with a strong CTLE fixed from the start (CTLEAdapt 0 with a high EQ_Level) or with "
     "DWDM_mode 1; try CTLEAdapt 1, a lower EQ_Level, or DWDM_mode 0"},
};

inline const char* KitTransmitterName() { return kKitModels[0].name; }
inline const char* KitReceiverName() { return kKitModels[1].name; }

// The kit's model of that name, or null.
inline const KitModel* FindKitModel(const std::string& name) {
    for (const KitModel& model : kKitModels) {
        if (name == model.name) return &model;
    }
    return nullptr;
}

}  // namespace linksim

#endif
