#include "preview/cgi_runner.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>

namespace qp::preview {
namespace {

using namespace std::chrono_literals;

TProcessRequest Shell(const std::string& script) {
    TProcessRequest request;
    request.Argv = {"/bin/sh", "-c", script};
    request.Environment = {"PATH=/usr/bin:/bin"};
    return request;
}

TEST(CgiRunner, PassesEnvironmentInputAndFolderAndCollectsBothStreams) {
    TProcessRequest request =
        Shell("echo \"$REQUEST_METHOD $QUERY_STRING\"; pwd; cat; echo oops >&2; exit 3");
    request.Environment.push_back("REQUEST_METHOD=POST");
    request.Environment.push_back("QUERY_STRING=a=1&b=2");
    request.WorkDir = "/tmp";
    request.Input = "body\nbytes";
    const TProcessResult r = RunProcess(request);
    EXPECT_EQ(r.Output, "POST a=1&b=2\n/tmp\nbody\nbytes");
    EXPECT_EQ(r.ErrorOutput, "oops\n");
    EXPECT_EQ(r.ExitCode, 3);
    EXPECT_FALSE(r.Succeeded());
}

TEST(CgiRunner, EnvironmentIsOnlyWhatWasGiven) {
    ::setenv("QP_RUNNER_LEAK", "1", 1);
    const TProcessResult r = RunProcess(Shell("echo \"[$QP_RUNNER_LEAK]\""));
    ::unsetenv("QP_RUNNER_LEAK");
    EXPECT_EQ(r.Output, "[]\n");
    EXPECT_TRUE(r.Succeeded());
}

TEST(CgiRunner, LargeInputThatIsNeverReadDoesNotHangOrKillTheServer) {
    TProcessRequest request = Shell("echo early");
    request.Input.assign(4 * 1024 * 1024, 'x');
    const TProcessResult r = RunProcess(request);
    EXPECT_EQ(r.Output, "early\n");
    EXPECT_EQ(r.ExitCode, 0);
    // The server lives on: a SIGPIPE would have ended this test program.
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    EXPECT_NE(sigismember(&pending, SIGPIPE), 1);
}

TEST(CgiRunner, LargeInputAndOutputAtOnceDoNotDeadlock) {
    TProcessRequest request = Shell("cat");
    request.Input.assign(3 * 1024 * 1024, 'y');
    const TProcessResult r = RunProcess(request);
    EXPECT_EQ(r.Output.size(), request.Input.size());
    EXPECT_TRUE(r.Succeeded());
}

TEST(CgiRunner, TimeoutKillsTheProgramAndWhatItStarted) {
    TProcessRequest request = Shell("sleep 30 & echo started; wait");
    request.Timeout = 300ms;
    const auto start = std::chrono::steady_clock::now();
    const TProcessResult r = RunProcess(request);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(r.TimedOut);
    EXPECT_EQ(r.Signal, SIGKILL);
    EXPECT_EQ(r.Output, "started\n");
    EXPECT_FALSE(r.Succeeded());
}

TEST(CgiRunner, ProgramThatClosesItsStreamsButGoesOnIsStillTimedOut) {
    TProcessRequest request = Shell("exec >&- 2>&-; sleep 30");
    request.Timeout = 300ms;
    const TProcessResult r = RunProcess(request);
    EXPECT_TRUE(r.TimedOut);
}

TEST(CgiRunner, OutputBeyondTheLimitEndsTheProgram) {
    TProcessRequest request = Shell("yes");
    request.OutputLimit = 100000;
    const TProcessResult r = RunProcess(request);
    EXPECT_TRUE(r.TooLarge);
    EXPECT_GT(r.Output.size(), request.OutputLimit);
    EXPECT_FALSE(r.Succeeded());
}

TEST(CgiRunner, MissingProgramReportsTheExecError) {
    TProcessRequest request;
    request.Argv = {"/nonexistent/perl", "x"};
    const TProcessResult r = RunProcess(request);
    EXPECT_EQ(r.ExecErrno, ENOENT);
    EXPECT_FALSE(r.Succeeded());

    request = Shell("true");
    request.WorkDir = "/nonexistent-folder";
    EXPECT_EQ(RunProcess(request).ExecErrno, ENOENT);
}

}  // namespace
}  // namespace qp::preview
