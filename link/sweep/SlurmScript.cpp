#include "SlurmScript.h"

#include "CornerJob.h"

namespace linksweep {

size_t SlurmTaskCount(size_t lines, size_t cornersPerTask) {
    if (cornersPerTask == 0) return lines;
    return (lines + cornersPerTask - 1) / cornersPerTask;
}

std::string SlurmScript(const std::string& jobsFile, const std::string& logFolder, size_t lines,
                        size_t cornersPerTask, unsigned cpusPerTask) {
    const std::string perTask = std::to_string(cornersPerTask);
    return "#!/bin/bash\n"
           "#SBATCH --job-name=orvex-sweep\n"
           "#SBATCH --array=1-" + std::to_string(SlurmTaskCount(lines, cornersPerTask)) + "\n"
           "#SBATCH --ntasks=1\n"
           "#SBATCH --cpus-per-task=" + std::to_string(cpusPerTask) + "\n"
           "#SBATCH --output=" + logFolder + "/slurm-%A_%a.out\n"
           "# Each array task runs " + perTask + " corner(s): its lines of the jobs file, one after\n"
           "# another. Afterwards: orvex-sweep --collect on the sweep folder.\n"
           "set -u\n"
           "jobs_file=" + ShellQuote(jobsFile) + "\n"
           "per_task=" + perTask + "\n"
           "first=$(( (SLURM_ARRAY_TASK_ID - 1) * per_task + 1 ))\n"
           "last=$(( first + per_task - 1 ))\n"
           "sed -n \"${first},${last}p;${last}q\" \"$jobs_file\" | while IFS= read -r line; do\n"
           "  bash -c \"$line\" </dev/null\n"
           "done\n";
}

}  // namespace linksweep
