// The analog side of a run, as the models receive it: which models an IBIS
// file names, the buffers at both ends (from that file, from an IBIS file
// beside the models, or from the command line), and the impulse response of
// the channel and of each crosstalk aggressor's path on the run's grid.
#ifndef LINK_APP_LINK_CHANNELS_H
#define LINK_APP_LINK_CHANNELS_H

#include <string>
#include <vector>

#include "LinkRun.h"

namespace linksim {

// The --ibs file and the models its pins choose: as the command line read
// them (settings.ibs), else read now. False with one line in error.
bool ChooseIbis(const LinkSettings& settings, IbisChoice& choice, std::string& error);

// With --ibs: the transmitter's and receiver's libraries and .ami files
// from the file's [Algorithmic Model] sections, for the models whose
// library was left empty. False with one line in error.
void ModelsFromIbis(const IbisChoice& choice, ModelSpec& tx, ModelSpec& rx);
bool ModelsFromIbis(const LinkSettings& settings, ModelSpec& tx, ModelSpec& rx, std::string& error);

// The buffer values and whether they apply: to Touchstone channels and --ibs
// runs always, to other channels only when a value is given. txModelName
// decides whether the transmitter's own responses hold its pad already;
// ibs, when chosen, is the --ibs file as already read.
bool ResolveBuffers(const LinkSettings& settings, const IbisChoice& ibs, const std::string& txLibrary,
                    const std::string& rxLibrary, const std::string& txModelName, BuffersOutcome& buffers,
                    std::string& error);

// One path's impulse response (1/s) at the run's sample interval, with the
// buffers when they apply. through is false for an aggressor's path.
bool BuildPath(const ChannelSpec& spec, const PortMap& ports, bool through, const BuffersOutcome& buffers,
               double bitRate, int samplesPerUi, std::vector<double>& impulse, ChannelOutcome& outcome,
               std::string& error);

// The seed of aggressor number index (from 1): a different start of the same
// pattern for each.
unsigned long long AggressorSeed(int prbsOrder, size_t index);

}  // namespace linksim

#endif
