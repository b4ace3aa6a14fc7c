// Slurm job-array scripts for a jobs file: array task T runs lines
// T*K+1 .. (T+1)*K of it, one after another, K corners per task, asking for
// the cores, time and memory those corners need. Past the site's
// MaxArraySize the array is split into parts, each with indices from 0 and
// an offset of its own; a submit helper submits the parts, and the collect
// job after them when asked.
#ifndef LINK_SWEEP_SLURM_SCRIPT_H
#define LINK_SWEEP_SLURM_SCRIPT_H

#include <cstddef>
#include <string>
#include <vector>

namespace linksweep {

// Slurm's default MaxArraySize: array indices 0 to 1000.
constexpr size_t kSlurmDefaultMaxArraySize = 1001;

// The time a task asks for: every corner it runs at kCornerStartSeconds
// (loading the models, their AMI_Init, writing the results) and
// kSecondsPerBit per bit sent at kReferenceSamplesPerUi (in proportion to
// the samples per unit interval), times kTimeSafetyFactor for slower
// nodes and heavier models, and never below kMinimumTaskMinutes.
// orvex-link takes about 8 us of processor time per bit at 32 samples per
// unit interval with the kit's models on a current x86 core.
constexpr double kSecondsPerBit = 10e-6;
constexpr size_t kReferenceSamplesPerUi = 32;
constexpr double kCornerStartSeconds = 2;
constexpr double kTimeSafetyFactor = 3;
constexpr size_t kMinimumTaskMinutes = 10;
// The memory a task asks for: orvex-link's 96 bytes per bit sent and
// kBaseMegabytes for the rest (the receiver's output kept for the margins,
// at most 128 MB, the program and its models).
constexpr size_t kBaseMegabytes = 256;
// The collect job: sweep.json and the table are built in memory.
constexpr double kCollectSecondsPerCorner = 1e-4;
constexpr size_t kCollectBytesPerCorner = 4096;
// Slurm's warning before the time limit, in seconds: the task then starts
// no further corner.
constexpr unsigned kTimeLimitWarningSeconds = 120;

// The number of array tasks for the lines at K per task (0 for no lines).
size_t SlurmTaskCount(size_t lines, size_t cornersPerTask);

// The seconds a corner of bits at samplesPerUi is estimated to take,
// before the safety factor.
double CornerSeconds(size_t bits, size_t samplesPerUi);
// The minutes a task of corners taking cornerSeconds each asks for: with the
// safety factor, and at least the floor.
size_t TaskMinutes(size_t corners, double cornerSeconds);
// The megabytes a task asks for: its corners run one at a time.
size_t TaskMegabytes(size_t bits);
// Minutes as Slurm's D-HH:MM:SS.
std::string SlurmTime(size_t minutes);
// Whether text is a time Slurm takes: MM, MM:SS, HH:MM:SS, D-HH, D-HH:MM,
// D-HH:MM:SS, UNLIMITED or INFINITE.
bool IsSlurmTime(const std::string& text);

// Empty when text is one sbatch option, --NAME or --NAME=VALUE, that an
// #SBATCH line can carry as written: no control character, no white space
// or '#' outside quotes, quotes closed. Else the reason. --array is refused:
// the scripts set it and count on it.
std::string SiteOptionProblem(const std::string& text);

// Whether an #SBATCH line can name a file in the folder: sbatch reads these
// lines itself, with quotes and backslashes of its own, and expands % in
// file names (the scripts write the folder quoted, its % as %%); a
// backslash would turn sbatch's %A and %a off, a control character end the
// line.
bool SbatchCanName(const std::string& folder);

struct SlurmJob {
    std::string jobsFile;      // absolute
    std::string sweepFolder;   // absolute: the tasks' logs go there
    std::string sweepProgram;  // orvex-sweep, for the collect job
    size_t lines = 0;          // of the jobs file, one corner each
    size_t sweepCorners = 0;   // all of the sweep's, which the collect job reads
    size_t cornersPerTask = 1;
    unsigned cpusPerTask = 2;
    std::string time;          // --time of each task
    size_t megabytes = 0;      // --mem of each task
    size_t throttle = 0;       // tasks at once, 0: as many as Slurm allows
    size_t maxArraySize = 0;   // the site's MaxArraySize, 0: one array
    std::vector<std::string> siteOptions;  // #SBATCH lines as given
    // A folder of this emission's own in which each task lists the lines
    // that ran, so that the same scripts submitted again run only the others.
    std::string ranRecord;
    bool collect = false;      // a collect job after the arrays
    std::vector<std::string> collectArguments;  // to orvex-sweep beside --collect
};

struct SlurmFile {
    std::string path;
    std::string text;
};

// The files --emit-slurm FILE writes (none for no lines), FILE first: the
// array script itself when the job is one array without a collect job;
// otherwise FILE is the submit helper, beside it FILE's stem with -1, -2, ...
// (the array's parts) and -collect, each with FILE's extension.
std::vector<SlurmFile> SlurmFiles(const SlurmJob& job, const std::string& file);

}  // namespace linksweep

#endif
