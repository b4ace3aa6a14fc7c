// A Slurm job-array script for a jobs file: task T runs lines
// (T-1)*K+1 .. T*K of it, one after another, K corners per task.
#ifndef LINK_SWEEP_SLURM_SCRIPT_H
#define LINK_SWEEP_SLURM_SCRIPT_H

#include <cstddef>
#include <string>

namespace linksweep {

// Slurm's default MaxArraySize is 1001: array indices up to 1000.
constexpr size_t kSlurmDefaultArrayLimit = 1000;

// The number of array tasks for the lines at K per task (0 for no lines).
size_t SlurmTaskCount(size_t lines, size_t cornersPerTask);

// The script, #SBATCH --array=1-TASKS, each task asking for the cores a
// corner's run uses; the task logs go beside the jobs file's sweep folder
// as slurm-JOB_TASK.out.
std::string SlurmScript(const std::string& jobsFile, const std::string& logFolder, size_t lines,
                        size_t cornersPerTask, unsigned cpusPerTask);

}  // namespace linksweep

#endif
