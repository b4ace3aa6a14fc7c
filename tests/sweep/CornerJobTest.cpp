// A corner's command line as the shell runs it.
#include <gtest/gtest.h>

#include <filesystem>

#include "CornerJob.h"
#include "ProgramOutput.h"
#include "Scratch.h"
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

}  // namespace
