// The block base: every processing element, from a gain to a whole model
// schematic, is a DFModel with a four-phase life (Setup, Initialize, Run any
// number of times, Finalize) plus a hook that validates dynamic parameters.
// Every phase reports success as a bool; nothing throws.
#ifndef TESSEL_DFMODEL_H
#define TESSEL_DFMODEL_H

#include <cstdint>

#include "TesselExport.h"

namespace Tessel {

class TESSEL_EXPORT DFModel {
public:
    // Out of line, so that the transmitter library can publish them.
    DFModel();
    DFModel(const DFModel&);
    DFModel& operator=(const DFModel&);

    virtual bool Setup();
    virtual bool Initialize();
    virtual bool Run();
    virtual bool Finalize();
    virtual bool UpdateDynamicParameters();
    virtual ~DFModel();
};

// A block base with a firing counter. No block of either model derives from
// it; the transmitter library publishes it as part of the dataflow library.
class TESSEL_EXPORT TimedDFModel : public DFModel {
public:
    // The platform's "not implemented" result.
    static const int kNotImplemented = static_cast<int>(0x80004001u);

    TimedDFModel();
    TimedDFModel(const TimedDFModel&);
    TimedDFModel& operator=(const TimedDFModel&);
    ~TimedDFModel() override;

    virtual int CalculateLatency();
    virtual int PropagateCharacterizationFrequency();

    void Advance() { ++m_iCount; }
    uint64_t GetCount() const { return m_iCount; }

protected:
    uint64_t m_iCount = 0;
};

}  // namespace Tessel

#endif
