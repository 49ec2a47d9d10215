// The test executables' entry point. The firmware's globals are its state, as on the target, so
// every test case needs a fresh process: CTest starts one per case (and sets
// PANEL_TEST_ONE_PROCESS); run directly, this main starts one child per selected case, a few at
// a time, so that both ways give the same verdict. A single selected case, --gtest_list_tests
// and PANEL_TEST_ONE_PROCESS=1 run in this process as usual.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kOneProcess = "PANEL_TEST_ONE_PROCESS";

struct Child {
    std::string test;
    std::string log;
    pid_t pid = -1;
};

pid_t Spawn(const std::vector<std::string>& arguments, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The full names of the cases the filter selects, as the list mode prints them.
std::vector<std::string> SelectedTests(const std::string& self, const std::string& log) {
    const pid_t pid = Spawn({self, "--gtest_list_tests",
                             "--gtest_filter=" + ::testing::GTEST_FLAG(filter)},
                            log);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return {};
    }
    std::istringstream lines(Slurp(log));
    std::vector<std::string> tests;
    std::string suite;
    for (std::string line; std::getline(lines, line);) {
        const std::string name = line.substr(0, line.find("  #"));
        if (name.empty()) {
            continue;
        }
        if (name[0] != ' ') {
            suite = name;
        } else {
            tests.push_back(suite + name.substr(name.find_first_not_of(' ')));
        }
    }
    return tests;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* oneProcess = std::getenv(kOneProcess);
    if ((oneProcess != nullptr && *oneProcess == '1') || ::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    setenv(kOneProcess, "1", 1);
    char folder[] = "/tmp/panel-tests-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string self = argv[0];
    const std::vector<std::string> tests = SelectedTests(self, std::string(folder) + "/list");
    if (tests.size() <= 1) {
        unsetenv(kOneProcess);
        return RUN_ALL_TESTS();
    }
    std::printf("[==========] %zu tests, each in a process of its own\n", tests.size());
    const size_t parallel = std::max(1u, std::thread::hardware_concurrency());
    std::vector<Child> running;
    std::vector<std::string> failed;
    size_t next = 0;
    size_t passed = 0;
    while (next < tests.size() || !running.empty()) {
        while (next < tests.size() && running.size() < parallel) {
            Child child{tests[next], std::string(folder) + "/" + std::to_string(next) + ".log"};
            child.pid = Spawn({self, "--gtest_filter=" + tests[next]}, child.log);
            running.push_back(child);
            ++next;
        }
        int status = 0;
        const pid_t done = wait(&status);
        if (done < 0) {
            break;
        }
        for (auto it = running.begin(); it != running.end(); ++it) {
            if (it->pid != done) {
                continue;
            }
            const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            if (ok) {
                ++passed;
                std::printf("[       OK ] %s\n", it->test.c_str());
            } else {
                failed.push_back(it->test);
                std::printf("%s[  FAILED  ] %s\n", Slurp(it->log).c_str(), it->test.c_str());
            }
            std::fflush(stdout);
            std::remove(it->log.c_str());
            running.erase(it);
            break;
        }
    }
    std::remove((std::string(folder) + "/list").c_str());
    rmdir(folder);
    for (const std::string& test : failed) {
        std::printf("[  FAILED  ] %s\n", test.c_str());
    }
    std::printf("%zu passed, %zu failed\n", passed, failed.size());
    return failed.empty() && passed == tests.size() ? 0 : 1;
}
