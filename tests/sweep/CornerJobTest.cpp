// A corner's command line as the shell runs it, and the Slurm array script
// that runs a jobs file's lines.
#include <gtest/gtest.h>

#include <filesystem>

#include "CornerJob.h"
#include "ProgramOutput.h"
#include "Scratch.h"
#include "SlurmScript.h"
#include "SweepTestFiles.h"

namespace {

// A stand-in for the link simulator: writes its arguments, one per line,
// into its --out folder and exits with the status its last argument names.
std::string FakeLinkProgram(const std::string& folder) {
    const std::string path = folder + "/fake link";
    WriteText(path,
              "#!/bin/sh\n"
              "out=$3\n"
              "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$out/arguments\"; done\n"
              "echo 'orvex-link: the reason' >&2\n"
              "eval \"exit \\${$#}\"\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

TEST(CornerJob, TheLineHandsEveryArgumentOverAsGivenAndRecordsTheExitStatus) {
    const std::string folder = FreshFolder(Scratch("job"));
    const std::string program = FakeLinkProgram(folder);
    const std::string corner = FreshFolder(folder + "/corner 'one'");
    const std::vector<std::string> arguments = {"--tx", "Label=lane $HOME \"0\" `x` \\n", "--channel",
                                                "file:/a b/c;d.txt", "3"};
    const std::string line = linksweep::CornerCommandLine(program, corner, arguments);
    EXPECT_EQ(Shell(line), 0);
    std::string expected = "--quiet\n--out\n" + corner + "\n";
    for (const std::string& argument : arguments) expected += argument + "\n";
    EXPECT_EQ(ReadFile(corner + "/arguments"), expected);
    EXPECT_EQ(ReadFile(corner + "/" + linksweep::kExitStatusFile), "3\n");
    EXPECT_EQ(ReadFile(corner + "/" + linksweep::kLogFile), "orvex-link: the reason\n");
    EXPECT_EQ(linksweep::ShellQuote("loss:5"), "loss:5");
}

TEST(SlurmScript, TheArrayCoversEveryLineOnce) {
    EXPECT_EQ(linksweep::SlurmTaskCount(0, 5), 0u);
    EXPECT_EQ(linksweep::SlurmTaskCount(5, 5), 1u);
    EXPECT_EQ(linksweep::SlurmTaskCount(11, 5), 3u);
    EXPECT_EQ(linksweep::SlurmTaskCount(4, 1), 4u);

    const std::string folder = FreshFolder(Scratch("slurm"));
    const size_t lines = 11;
    std::string jobs;
    for (size_t i = 1; i <= lines; ++i) jobs += "echo " + std::to_string(i) + " >> '" + folder + "/ran'\n";
    WriteText(folder + "/jobs.txt", jobs);
    const std::string script = folder + "/sweep.slurm";
    WriteText(script, linksweep::SlurmScript(folder + "/jobs.txt", folder, lines, 4, 2));
    ASSERT_EQ(Shell("bash -n '" + script + "'"), 0) << ReadFile(script);
    EXPECT_NE(ReadFile(script).find("\n#SBATCH --array=1-3\n"), std::string::npos) << ReadFile(script);
    EXPECT_NE(ReadFile(script).find("\n#SBATCH --cpus-per-task=2\n"), std::string::npos) << ReadFile(script);
    for (int task = 1; task <= 3; ++task) {
        ASSERT_EQ(Shell("SLURM_ARRAY_TASK_ID=" + std::to_string(task) + " bash '" + script + "'"), 0);
    }
    std::string expected;
    for (size_t i = 1; i <= lines; ++i) expected += std::to_string(i) + "\n";
    EXPECT_EQ(ReadFile(folder + "/ran"), expected);
}

}  // namespace
