// orvex-sweep as a user runs it, over the link tests' small models: on this
// machine, through GNU parallel, restarted, and stopped by a bad value.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "ProgramOutput.h"
#include "Scratch.h"
#include "SweepTestFiles.h"

namespace {

const std::string kModels = std::string("--tx-model ") + SWEEP_TEST_MODEL_DIR + "/LinkTestTx.so --rx-model " +
                            SWEEP_TEST_MODEL_DIR + "/LinkTestRxClock.so --bits 3000 ";
// 2 x 2: two de-emphasis settings, a lossy line and a channel file of
// zeros, which the plan's check lets by (it reads) and its corners' runs
// refuse. The sweep exits 4: some corners could not run.
const std::string kZeroChannel = testing::TempDir() + "sweep_zero_channel.txt";
const std::string kTwoByTwo = kModels + "--tx Deemphasis=0.1,0.3 --channel loss:8 --channel file:" + kZeroChannel + " ";

class SweepProgram : public testing::Test {
protected:
    static void SetUpTestSuite() { WriteText(kZeroChannel, "0 0\n3.125e-12 0\n6.25e-12 0\n"); }
};

int Sweep(const std::string& arguments, const std::string& log) {
    return Shell(std::string(ORVEX_SWEEP_PROGRAM) + " --quiet " + arguments + " >'" + log + "' 2>&1");
}

// The table without its last column, run_time_s, the only one timing sets.
std::string TableWithoutTiming(const std::string& folder) {
    std::string kept;
    std::istringstream table(ReadFile(folder + "/sweep.csv"));
    for (std::string line; std::getline(table, line);) kept += line.substr(0, line.rfind(',')) + "\n";
    return kept;
}

TEST_F(SweepProgram, LocalCoresAndGnuParallelGiveTheSameTable) {
    const std::string root = FreshFolder(Scratch("sweeps"));
    const std::string log = root + "/log";
    ASSERT_EQ(Sweep(kTwoByTwo + "--jobs 2 --keep worst:1 --out " + root + "/local", log), 4) << ReadFile(log);
    ASSERT_EQ(Sweep(kTwoByTwo + "--out " + root + "/parallel --keep all --emit-jobs " + root + "/jobs.txt", log), 0)
        << ReadFile(log);
    ASSERT_EQ(Shell("command -v parallel >/dev/null"), 0) << "GNU parallel is missing: scripts/install-deps.sh test";
    ASSERT_EQ(Shell("parallel --will-cite -j 2 < '" + root + "/jobs.txt' 2>'" + log + "'"), 0) << ReadFile(log);
    ASSERT_EQ(Sweep("--collect " + root + "/parallel --keep worst:1", log), 4) << ReadFile(log);
    EXPECT_NE(ReadFile(log).find("best by eye_height_v:\n  corners/3"), std::string::npos) << ReadFile(log);
    // The worst corner with a result, to run again keeping all.
    const std::string worst = ReadFile(root + "/parallel/worst-jobs.txt");
    EXPECT_EQ(std::count(worst.begin(), worst.end(), '\n'), 1) << worst;
    EXPECT_NE(worst.find("--run-corner 1 "), std::string::npos) << worst;
    EXPECT_NE(worst.find("--keep all"), std::string::npos) << worst;

    const std::string local = TableWithoutTiming(root + "/local");
    EXPECT_EQ(TableWithoutTiming(root + "/parallel"), local);
    // The unreadable channel is recorded with its reason, the others ran.
    EXPECT_NE(local.find(",0.1,file:" + kZeroChannel + ",error,the channel file " + kZeroChannel + " is all zeros"),
              std::string::npos)
        << local;
    // The 3000-bit corners on the test models run, and fail at 1e-12.
    EXPECT_NE(local.find("\n3,corners/3,0.3,loss:8,fail,"), std::string::npos) << local;
    for (const char* file :
         {"/local/heatmap.png", "/local/sweep.html", "/local/sweep.json", "/parallel/corners/1/eye.png", "/local/corners/1/report.html"}) {
        EXPECT_TRUE(std::filesystem::exists(root + file)) << file;
    }
    // Lean corners keep at most three files (the worst one, run again,
    // keeps all); the journal holds every corner's exit status.
    for (const char* corner : {"2", "3", "4"}) {
        const auto files = std::filesystem::directory_iterator(root + "/local/corners/" + corner);
        EXPECT_LE(std::distance(begin(files), end(files)), 3) << corner;
    }
    const std::string journal = ReadFile(root + "/local/journal.txt");
    EXPECT_NE(journal.find("corner 3: exit status 0, fail"), std::string::npos) << journal;
    EXPECT_NE(journal.find("corner 2: exit status 1, error: the channel file"), std::string::npos) << journal;
}

TEST_F(SweepProgram, ARestartRunsOnlyTheCornersWithoutASummary) {
    const std::string out = FreshFolder(Scratch("sweep"));
    const std::string log = out + ".log";
    ASSERT_EQ(Sweep(kTwoByTwo + "--out " + out, log), 4) << ReadFile(log);
    // A marker in every corner's folder shows which were run again.
    for (const char* corner : {"1", "2", "3", "4"}) WriteText(out + "/corners/" + corner + "/marker", "");
    std::filesystem::remove(out + "/corners/3/summary.json");
    // A summary cut short is no finished run either.
    WriteText(out + "/corners/4/summary.json", "{}");
    ASSERT_EQ(Sweep(kTwoByTwo + "--out " + out, log), 4) << ReadFile(log);
    EXPECT_TRUE(std::filesystem::exists(out + "/corners/1/marker"));
    EXPECT_FALSE(std::filesystem::exists(out + "/corners/2/marker"));  // it failed, so it ran again
    EXPECT_FALSE(std::filesystem::exists(out + "/corners/3/marker"));
    EXPECT_FALSE(std::filesystem::exists(out + "/corners/4/marker"));
    EXPECT_TRUE(std::filesystem::exists(out + "/corners/3/summary.json"));
    ASSERT_EQ(Sweep(kTwoByTwo + "--out " + out + " --force", log), 4) << ReadFile(log);
    EXPECT_FALSE(std::filesystem::exists(out + "/corners/1/marker"));

    // Nor while a sweep, or a corner of one, still holds the folder.
    const int held = open((out + "/.orvex-sweep.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    EXPECT_EQ(Sweep(kTwoByTwo + "--out " + out, log), 1);
    EXPECT_EQ(Sweep("--collect " + out, log), 1);
    close(held);
    EXPECT_NE(ReadFile(log).find("is still running in"), std::string::npos) << ReadFile(log);

    // Another sweep into the same folder is refused unless forced.
    EXPECT_NE(Sweep(kModels + "--tx Deemphasis=0.2,0.4 --out " + out, log), 0);
    EXPECT_NE(ReadFile(log).find("holds another sweep"), std::string::npos) << ReadFile(log);

    // A summary of another plan's corner is no result of this one.
    WriteText(out + "/corners/1/marker", "");
    const std::string summary = ReadFile(out + "/corners/1/summary.json");
    const size_t tag = summary.find("\"tag\": \"plan-");
    ASSERT_NE(tag, std::string::npos) << summary;
    WriteText(out + "/corners/1/summary.json", summary.substr(0, tag + 13) + "X" + summary.substr(tag + 14));
    ASSERT_EQ(Sweep(kTwoByTwo + "--out " + out, log), 4) << ReadFile(log);
    EXPECT_FALSE(std::filesystem::exists(out + "/corners/1/marker"));
    // Corners without their plan may be anyone's.
    std::filesystem::remove(out + "/plan.json");
    EXPECT_EQ(Sweep(kTwoByTwo + "--out " + out, log), 1);
    EXPECT_NE(ReadFile(log).find("holds corners but no plan.json"), std::string::npos) << ReadFile(log);
}

TEST_F(SweepProgram, AValueOutOfRangeStopsTheSweepBeforeAnythingRuns) {
    const std::string root = FreshFolder(Scratch("sweeps"));
    const std::string log = root + "/log";
    const struct {
        const char* options;
        const char* named;
    } cases[] = {
        {"--tx Deemphasis=0:0.6:0.1", "Deemphasis=0.6"},
        {"--tx Deemphasis=0.2 --prbs 7,9,15", "--prbs 9"},
        {"--tx Swing=0:4", "Swing=4"},
        {"--tx NoSuchParameter=1,2", "NoSuchParameter"},
        // A channel file that cannot be read is found before anything runs.
        {"--channel loss:5,file:/no/such/channel.txt", "cannot read the channel file /no/such/channel.txt"},
        // A newline in a path would run the rest of the line as a command.
        {"--emit-jobs \"$(printf '/tmp/x\\ntouch /tmp/orvex-pwned #')\"", "--emit-jobs holds a newline"},
        // A site option must be one #SBATCH option, and the Slurm options go with a script.
        {"--emit-slurm s.slurm --slurm-option '--partition=a --qos=b'", "--slurm-option --partition=a --qos=b"},
        {"--emit-slurm s.slurm --slurm-time 10min", "--slurm-time 10min"},
        {"--slurm-throttle 2", "--slurm-throttle shapes the Slurm script"},
        {"--emit-slurm s.slurm --measure --slurm-time 5", "--measure and --slurm-time"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sweep(kModels + c.options + " --out " + root + "/out", log), 2) << c.options;
        const std::string text = ReadFile(log);
        EXPECT_EQ(text.rfind("orvex-sweep: ", 0), 0u) << text;
        EXPECT_NE(text.find(c.named), std::string::npos) << c.options << ": " << text;
        EXPECT_FALSE(std::filesystem::exists(root + "/out")) << c.options;
    }
}

// Corners with counted errors are marked fail, and the sweep exits 3: none
// errored. An axis the kit's receiver ignores under its adaptation is
// named before anything runs, and refused with --strict.
TEST_F(SweepProgram, FailingCornersAndDeadAxesAreTold) {
    const std::string root = FreshFolder(Scratch("sweeps"));
    const std::string log = root + "/log";
    ASSERT_EQ(Sweep(kModels + "--tx Deemphasis=0.1,0.3 --channel loss:45 --out " + root + "/lossy", log), 3)
        << ReadFile(log);
    const std::string table = ReadFile(root + "/lossy/sweep.csv");
    EXPECT_NE(table.find("\n1,corners/1,0.1,fail,errors were counted"), std::string::npos) << table;

    const std::string dead = "--rx EQ_Level=4,8 --bits 3000 --emit-jobs " + root + "/dead/jobs.txt --out " + root + "/dead";
    ASSERT_EQ(Sweep(dead, log), 0) << ReadFile(log);
    EXPECT_NE(ReadFile(log).find("warning: the axis rx.EQ_Level cannot change any corner: with CTLEAdapt 1"),
              std::string::npos)
        << ReadFile(log);
    EXPECT_EQ(Sweep(dead + " --strict --force", log), 2) << ReadFile(log);
    ASSERT_EQ(Sweep(dead + " --rx CTLEAdapt=0 --force", log), 0) << ReadFile(log);
    EXPECT_EQ(ReadFile(log).find("warning"), std::string::npos) << ReadFile(log);
}

TEST_F(SweepProgram, TheSlurmScriptRunsTheJobsFileInArrayTasks) {
    const std::string out = FreshFolder(Scratch("sweep"));
    const std::string log = out + ".log";
    ASSERT_EQ(Sweep(kTwoByTwo + "--out " + out + " --emit-slurm " + out +
                        "/sweep.slurm --corners-per-task 3 --slurm-option --partition=short",
                    log),
              0)
        << ReadFile(log);
    std::string script = ReadFile(out + "/sweep.slurm");
    // 3000 bits: the floors of time and memory.
    for (const char* line : {"\n#SBATCH --array=0-1\n", "\n#SBATCH --time=0-00:10:00\n", "\n#SBATCH --mem=257M\n",
                             "\n#SBATCH --partition=short\n"}) {
        EXPECT_NE(script.find(line), std::string::npos) << line << script;
    }
    EXPECT_EQ(Shell("bash -n '" + out + "/sweep.slurm'"), 0);
    const std::string jobs = ReadFile(out + "/jobs.txt");
    EXPECT_EQ(std::count(jobs.begin(), jobs.end(), '\n'), 4);

    // The models' default bits (their Ignore_Bits and 50000 after them), and a time given.
    std::string defaultBits = kTwoByTwo;
    defaultBits.erase(defaultBits.find("--bits 3000 "), 12);
    ASSERT_EQ(Sweep(defaultBits + "--out " + out + " --force --emit-slurm " + out +
                        "/sweep.slurm --slurm-time 2:00:00",
                    log),
              0)
        << ReadFile(log);
    script = ReadFile(out + "/sweep.slurm");
    EXPECT_NE(script.find("\n#SBATCH --time=2:00:00\n"), std::string::npos) << script;
    const size_t memory = script.find("\n#SBATCH --mem=");
    ASSERT_NE(memory, std::string::npos) << script;
    EXPECT_GT(std::stoul(script.substr(memory + 15)), 257u) << script;

    // --measure runs the first corner here, which leaves the jobs file.
    ASSERT_EQ(Sweep(kTwoByTwo + "--out " + out + " --force --emit-slurm " + out + "/sweep.slurm --measure", log), 0)
        << ReadFile(log);
    EXPECT_NE(ReadFile(log).find("measured: " + out + "/corners/1 took"), std::string::npos) << ReadFile(log);
    const std::string measured = ReadFile(out + "/jobs.txt");
    EXPECT_EQ(std::count(measured.begin(), measured.end(), '\n'), 3);
    EXPECT_EQ(measured.find("--run-corner 1 "), std::string::npos) << measured;
    // A measured corner that did not finish stays to run with the others.
    ASSERT_EQ(Sweep(kModels + "--tx Deemphasis=0.1,0.3 --channel file:" + kZeroChannel + " --out " + out +
                        " --force --emit-slurm " + out + "/sweep.slurm --measure",
                    log),
              0)
        << ReadFile(log);
    EXPECT_NE(ReadFile(log).find("did not finish"), std::string::npos) << ReadFile(log);
    EXPECT_NE(ReadFile(out + "/jobs.txt").find("--run-corner 1 "), std::string::npos);
}

}  // namespace
