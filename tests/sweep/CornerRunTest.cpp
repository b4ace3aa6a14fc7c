// A corner's run as the sweep starts it: its arguments handed over as
// given, its end recorded, and its run ending with whatever started it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "CornerJob.h"
#include "CornerRun.h"
#include "ProgramOutput.h"
#include "Scratch.h"
#include "SweepTestFiles.h"

namespace {

// A stand-in for the link simulator: writes its process id and its
// arguments, one per line, into its --out folder, says why it ends, and
// exits with the status its last argument names ("wait": sleeps instead).
std::string FakeLinkProgram(const std::string& folder) {
    const std::string path = folder + "/fake link";
    WriteText(path,
              "#!/bin/sh\n"
              "out=$3\n"
              "echo $$ > \"$out/pid\"\n"
              "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$out/arguments\"; done\n"
              "echo 'orvex-link: the reason' >&2\n"
              "eval \"last=\\${$#}\"\n"
              "[ \"$last\" = wait ] && exec sleep 30\n"
              "exit $last\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

// Running, not ended (a zombie whose new parent has not yet reaped it has ended).
bool Alive(pid_t pid) {
    if (kill(pid, 0) != 0) return false;
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t end = stat.rfind(')');
    return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] != 'Z';
}

linksweep::CornerSpec Spec(const std::string& folder, const std::vector<std::string>& own, linksweep::KeepMode keep) {
    linksweep::CornerSpec spec;
    spec.number = 7;
    spec.folder = folder + "/corner 'seven'";
    spec.linkProgram = FakeLinkProgram(folder);
    spec.arguments = {"--quiet", "--out", spec.folder};
    spec.arguments.insert(spec.arguments.end(), own.begin(), own.end());
    spec.ownArguments = own.size();
    spec.keep = keep;
    spec.journal = folder + "/journal.txt";
    return spec;
}

TEST(CornerRun, HandsEveryArgumentOverAsGivenAndRecordsHowItEnded) {
    const std::string folder = FreshFolder(Scratch("corner"));
    const std::vector<std::string> own = {"--tx", "Label=lane $HOME \"0\" `x` \\n", "--channel", "file:/a b/c;d.txt",
                                          "3"};
    const linksweep::CornerSpec spec = Spec(folder, own, linksweep::KeepMode::Summary);
    // What an earlier run left is gone before this one starts.
    WriteText(spec.folder + "/adapt.txt", "earlier\n");
    std::string error;
    ASSERT_TRUE(linksweep::RunCorner(spec, error)) << error;
    std::string expected;
    for (const std::string& argument : spec.arguments) expected += argument + "\n";
    EXPECT_EQ(ReadFile(spec.folder + "/arguments"), expected);
    EXPECT_FALSE(std::filesystem::exists(spec.folder + "/adapt.txt"));
    // No summary: the log and the status stay beside it, and the journal says so.
    EXPECT_EQ(ReadFile(spec.folder + "/" + linksweep::kExitStatusFile), "3\n");
    EXPECT_EQ(ReadFile(spec.folder + "/" + linksweep::kLogFile), "orvex-link: the reason\n");
    EXPECT_EQ(ReadFile(spec.journal), "corner 7: exit status 3, error: the reason\n  orvex-link: the reason\n");

    linksweep::CornerSpec missing = spec;
    missing.linkProgram = folder + "/no such program";
    ASSERT_TRUE(linksweep::RunCorner(missing, error)) << error;
    EXPECT_EQ(ReadFile(spec.folder + "/" + linksweep::kExitStatusFile), "127\n");
}

TEST(CornerRun, TheRunEndsWithWhatStartedIt) {
    const std::string folder = FreshFolder(Scratch("orphan"));
    const linksweep::CornerSpec spec = Spec(folder, {"wait"}, linksweep::KeepMode::All);
    // A sweep of its own, killed while its corner runs.
    const pid_t sweep = fork();
    ASSERT_GE(sweep, 0);
    if (sweep == 0) {
        pid_t child = 0;
        std::string error;
        if (!linksweep::StartCorner(spec, child, error)) _exit(1);
        pause();
        _exit(0);
    }
    const std::string pidFile = spec.folder + "/pid";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ReadFile(pidFile).empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const pid_t corner = pid_t(std::atol(ReadFile(pidFile).c_str()));
    ASSERT_GT(corner, 0);
    kill(sweep, SIGKILL);
    waitpid(sweep, nullptr, 0);
    while (Alive(corner) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(Alive(corner)) << "the corner's run outlived the sweep that started it";
}

TEST(CornerRun, ShellQuoteLeavesPlainWordsAlone) {
    EXPECT_EQ(linksweep::ShellQuote("loss:5"), "loss:5");
    EXPECT_EQ(linksweep::ShellQuote("a 'b'"), "'a '\\''b'\\'''");
}

}  // namespace
