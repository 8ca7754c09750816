#include <gtest/gtest.h>

#ifdef VANTREL_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#ifdef __linux__
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#endif

namespace {

#ifdef __linux__

// Every process a test starts must end with the test, however the test ends: also the
// ones started detached, which leave their parent at once (a Sentry a booking client
// brings up, a task the Sentry starts). So the test runs in a child of this process,
// and this process is the subreaper of everything below it: a process whose parent
// ends is handed to it instead of to init. When the test is over, whatever is left
// below is ended.

pid_t g_test = 0;   // the child that runs the tests

void forwardSignal(int signal)
{
    if (g_test > 0)
        ::kill(g_test, signal);
}

std::vector<pid_t> childrenOfThisProcess()
{
    std::vector<pid_t> children;
    const std::string task = "/proc/self/task/";
    DIR *threads = ::opendir(task.c_str());
    if (!threads)
        return children;
    while (const dirent *entry = ::readdir(threads)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream list(task + entry->d_name + "/children");
        for (pid_t pid; list >> pid;)
            children.push_back(pid);
    }
    ::closedir(threads);
    return children;
}

// Ends everything below this process: first asked, then forced. A process that ends
// hands its own children up to here, so the list is read again until it stays empty.
void endEverythingBelow()
{
    for (int round = 0; round < 200; ++round) {
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        const std::vector<pid_t> children = childrenOfThisProcess();
        if (children.empty())
            return;
        for (pid_t pid : children)
            ::kill(pid, round < 20 ? SIGTERM : SIGKILL);
        ::usleep(50 * 1000);
    }
}

// Returns in the child, which goes on to run the tests; the supervising parent never
// returns. Without a way to adopt orphans, the tests simply run in this process.
void runTestInSupervisedChild()
{
    if (::prctl(PR_SET_CHILD_SUBREAPER, 1) != 0)
        return;
    std::fflush(nullptr);
    const pid_t parent = ::getpid();
    g_test = ::fork();
    if (g_test < 0)
        return;
    if (g_test == 0) {
        // A supervisor killed outright takes the test with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1);
        return;
    }
    // CTest ending the run (time-out, Ctrl+C) or the runner itself going: the test is
    // told, and what it leaves is cleaned up below as after any other end.
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT})
        std::signal(signal, forwardSignal);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);

    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(-1, &status, 0);
        if (ended == g_test)
            break;
        if (ended < 0 && errno == ECHILD)
            break;
    }
    g_test = 0;
    endEverythingBelow();
    if (WIFSIGNALED(status)) {
        // Ends the same way, so that the runner reports the crash as a crash.
        std::signal(WTERMSIG(status), SIG_DFL);
        ::kill(::getpid(), WTERMSIG(status));
    }
    // No exit handlers: they belong to the test process, which has run them.
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

#endif

} // namespace

// Tests run the same with or without a display: the harness, not the person
// running it, picks Qt's offscreen platform.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef __linux__
    runTestInSupervisedChild();
#endif
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
