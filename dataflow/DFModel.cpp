#include "DFModel.h"

namespace Tessel {

bool DFModel::Setup() { return true; }
bool DFModel::Initialize() { return true; }
bool DFModel::Run() { return true; }
bool DFModel::Finalize() { return true; }
bool DFModel::UpdateDynamicParameters() { return true; }
DFModel::~DFModel() {}

TimedDFModel::~TimedDFModel() {}
int TimedDFModel::CalculateLatency() { return kNotImplemented; }
int TimedDFModel::PropagateCharacterizationFrequency() { return kNotImplemented; }

}  // namespace Tessel
