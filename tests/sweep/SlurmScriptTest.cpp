// The Slurm scripts of a sweep, run by bash as Slurm would run them (a
// stand-in sbatch records what the submit helper asks for), and what each
// task asks of the cluster.
#include <gtest/gtest.h>

#include <filesystem>

#include "ProgramOutput.h"
#include "Scratch.h"
#include "SlurmScript.h"
#include "SweepTestFiles.h"

namespace {

// A job over a jobs file of `lines` lines, line N appending N to ran.
linksweep::SlurmJob JobOverLines(const std::string& folder, size_t lines) {
    std::string jobs;
    for (size_t i = 1; i <= lines; ++i) jobs += "echo " + std::to_string(i) + " >> '" + folder + "/ran'\n";
    WriteText(folder + "/jobs.txt", jobs);
    linksweep::SlurmJob job;
    job.jobsFile = folder + "/jobs.txt";
    job.sweepFolder = folder;
    job.sweepProgram = "/bin/true";
    job.lines = lines;
    job.time = "0-00:10:00";
    job.megabytes = 300;
    job.ranRecord = folder + "/record";
    return job;
}

// Writes the files, executable, and returns their texts by path.
std::vector<linksweep::SlurmFile> Written(const linksweep::SlurmJob& job, const std::string& file) {
    const std::vector<linksweep::SlurmFile> files = linksweep::SlurmFiles(job, file);
    for (const linksweep::SlurmFile& written : files) WriteText(written.path, written.text);
    return files;
}

bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Lines(size_t count) {
    std::string text;
    for (size_t i = 1; i <= count; ++i) text += std::to_string(i) + "\n";
    return text;
}

TEST(SlurmScript, TheArrayPartsWithTheirOffsetsRunEveryLineOnce) {
    EXPECT_EQ(linksweep::SlurmTaskCount(0, 5), 0u);
    EXPECT_EQ(linksweep::SlurmTaskCount(11, 5), 3u);

    const std::string folder = FreshFolder(Scratch("slurm"));
    linksweep::SlurmJob job = JobOverLines(folder, 11);
    job.cornersPerTask = 2;  // 6 tasks, the last one with one line
    job.maxArraySize = 4;    // indices 0..3: parts of 4 and 2 tasks
    job.throttle = 3;
    const std::vector<linksweep::SlurmFile> files = Written(job, folder + "/sweep.slurm");
    ASSERT_EQ(files.size(), 3u);  // the submit helper, two parts
    EXPECT_EQ(files[1].path, folder + "/sweep-1.slurm");
    EXPECT_TRUE(Holds(files[1].text, "\n#SBATCH --array=0-3%3\n")) << files[1].text;
    EXPECT_TRUE(Holds(files[2].text, "\n#SBATCH --array=0-1%3\n")) << files[2].text;
    // Submitted twice: the second submission finds every line ran.
    for (int submission = 0; submission < 2; ++submission) {
        for (size_t part = 1; part <= 2; ++part) {
            ASSERT_EQ(Shell("bash -n '" + files[part].path + "'"), 0) << files[part].text;
            for (int task = 0; task < (part == 1 ? 4 : 2); ++task) {
                EXPECT_EQ(Shell("SLURM_ARRAY_TASK_ID=" + std::to_string(task) + " bash '" + files[part].path + "'"),
                          0);
            }
        }
    }
    EXPECT_EQ(ReadFile(folder + "/ran"), Lines(11));
}

TEST(SlurmScript, ATaskExitsZeroWhenItsCornersRecordedResultsAndStopsAtTheTimeLimitsWarning) {
    const std::string folder = FreshFolder(Scratch("slurm"));
    linksweep::SlurmJob job = JobOverLines(folder, 0);
    // A corner whose run fails but records it; one that records nothing.
    WriteText(folder + "/jobs.txt", "sh -c 'exit 3'; echo $? > '" + folder + "/status'\nfalse\n");
    job.lines = 2;
    const std::string script = folder + "/sweep.slurm";
    WriteText(script, linksweep::SlurmFiles(job, script).front().text);
    EXPECT_EQ(Shell("SLURM_ARRAY_TASK_ID=0 bash '" + script + "' 2>/dev/null"), 0);
    EXPECT_EQ(ReadFile(folder + "/status"), "3\n");
    EXPECT_EQ(Shell("SLURM_ARRAY_TASK_ID=1 bash '" + script + "' 2>/dev/null"), 1);

    // Slurm's USR1 while the first corner runs: it ends, the second never starts.
    WriteText(folder + "/jobs.txt", "touch '" + folder + "/started'; sleep 1\ntouch '" + folder + "/second'\n");
    job.cornersPerTask = 2;
    job.ranRecord = folder + "/another record";  // another emission's
    WriteText(script, linksweep::SlurmFiles(job, script).front().text);
    const std::string started = "'" + folder + "/started'";
    EXPECT_EQ(Shell("SLURM_ARRAY_TASK_ID=0 bash '" + script + "' 2>'" + folder + "/log' & task=$!; until [ -e " +
                    started + " ]; do sleep 0.05; done; kill -USR1 $task; wait $task"),
              1);
    EXPECT_FALSE(std::filesystem::exists(folder + "/second"));
    EXPECT_TRUE(Holds(ReadFile(folder + "/log"), "the time limit is near")) << ReadFile(folder + "/log");
}

TEST(SlurmScript, TheSubmitHelperChainsThrottledPartsAndCollectsAfterAll) {
    const std::string folder = FreshFolder(Scratch("slurm helper"));
    // sbatch as a stand-in: records its arguments, answers job ids 101, 102, ...
    WriteText(folder + "/bin/sbatch",
              "#!/bin/sh\n"
              "n=$(( $(cat \"$0.count\" 2>/dev/null || echo 100) + 1 )); echo $n > \"$0.count\"\n"
              "echo \"$*\" >> \"$0.log\"; echo \"$n;cluster\"\n");
    std::filesystem::permissions(folder + "/bin/sbatch", std::filesystem::perms::owner_all);
    linksweep::SlurmJob job = JobOverLines(folder, 3);
    job.maxArraySize = 2;
    job.throttle = 1;
    job.collect = true;
    job.siteOptions = {"--partition=short"};
    const std::vector<linksweep::SlurmFile> files = Written(job, folder + "/sweep");
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[3].path, folder + "/sweep-collect");
    EXPECT_TRUE(Holds(files[3].text, "\n#SBATCH --partition=short\n")) << files[3].text;
    EXPECT_TRUE(Holds(files[3].text, "\n/bin/true --quiet --collect '" + folder + "'\n")) << files[3].text;
    ASSERT_EQ(Shell("PATH='" + folder + "/bin':$PATH sh '" + folder + "/sweep' --hold >'" + folder + "/out'"), 0);
    EXPECT_EQ(ReadFile(folder + "/bin/sbatch.log"),
              "--parsable --hold " + folder + "/sweep-1\n"
              "--parsable --dependency=afterany:101 --hold " + folder + "/sweep-2\n"
              "--parsable --dependency=afterany:101:102 --hold " + folder + "/sweep-collect\n");
    EXPECT_EQ(ReadFile(folder + "/out"), "array 1 of 2: job 101\narray 2 of 2: job 102\ncollect: job 103\n");
}

TEST(SlurmScript, DirectivesAreReadAsSbatchReadsThem) {
    linksweep::SlurmJob job = JobOverLines(FreshFolder(Scratch("slurm")), 1);
    job.sweepFolder = "/s 'q' 5%";
    const std::string script = linksweep::SlurmFiles(job, "/x.slurm").front().text;
    EXPECT_TRUE(Holds(script, "\n#SBATCH --output='/s '\\''q'\\'' 5%%/slurm-%A_%a.out'\n")) << script;
    EXPECT_TRUE(linksweep::SbatchCanName("/s 'q' $(x) 5%"));
    EXPECT_FALSE(linksweep::SbatchCanName("/s\\x"));

    for (const char* one : {"--partition=short", "--comment='a b # c'", "--comment=\"it\\'s\"", "--exclusive"}) {
        EXPECT_EQ(linksweep::SiteOptionProblem(one), "") << one;
    }
    for (const char* refused : {"--partition=a --qos=b", "-p short", "--partition=a\n#!", "--comment='open",
                                "--comment=a#b", "--arr=0-3", "partition=a", "--comment=a\\"}) {
        EXPECT_NE(linksweep::SiteOptionProblem(refused), "") << refused;
    }
}

TEST(SlurmScript, TimeAndMemoryGrowWithTheWorkAboveTheirFloors) {
    using namespace linksweep;
    EXPECT_EQ(TaskMinutes(1, CornerSeconds(3000, 32)), kMinimumTaskMinutes);
    // 100 corners of a million bits at 64 samples a unit interval.
    const double seconds = 100 * (kCornerStartSeconds + 1e6 * kSecondsPerBit * 2) * kTimeSafetyFactor;
    EXPECT_EQ(TaskMinutes(100, CornerSeconds(1000000, 64)), size_t(std::ceil(seconds / 60)));
    EXPECT_EQ(TaskMegabytes(0), kBaseMegabytes);
    EXPECT_EQ(TaskMegabytes(10000000), kBaseMegabytes + 916);  // 960 MB of bits
    EXPECT_EQ(SlurmTime(10), "0-00:10:00");
    EXPECT_EQ(SlurmTime(2 * 1440 + 61), "2-01:01:00");
    for (const char* time : {"30", "30:00", "1:00:00", "2-0", "2-12:00", "2-12:00:00", "UNLIMITED"}) {
        EXPECT_TRUE(IsSlurmTime(time)) << time;
    }
    for (const char* time : {"", "10min", "1:2:3:4", "-5", "1 2", "30\n"}) EXPECT_FALSE(IsSlurmTime(time)) << time;
}

}  // namespace
