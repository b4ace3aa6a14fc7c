#include "DFModel.h"

namespace Tessel {

DFModel::DFModel() {}
DFModel::DFModel(const DFModel&) = default;
DFModel& DFModel::operator=(const DFModel&) = default;

bool DFModel::Setup() { return true; }
bool DFModel::Initialize() { return true; }
bool DFModel::Run() { return true; }
bool DFModel::Finalize() { return true; }
bool DFModel::UpdateDynamicParameters() { return true; }
DFModel::~DFModel() {}

TimedDFModel::TimedDFModel() {}
TimedDFModel::TimedDFModel(const TimedDFModel&) = default;
TimedDFModel& TimedDFModel::operator=(const TimedDFModel&) = default;
TimedDFModel::~TimedDFModel() {}
int TimedDFModel::CalculateLatency() { return kNotImplemented; }
int TimedDFModel::PropagateCharacterizationFrequency() { return kNotImplemented; }

}  // namespace Tessel
