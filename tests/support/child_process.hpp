// Test support: a child process with pipes on its standard input and output, read line by line
// with real-time bounds. The child is ended (and reaped) when the object goes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

class ChildProcess {
  public:
    explicit ChildProcess(std::vector<std::string> argv) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (auto& arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        ::fcntl(stdout_, F_SETFL, O_NONBLOCK);
    }
    ~ChildProcess() {
        stop();
        if (stdin_ >= 0) {
            ::close(stdin_);
        }
        if (stdout_ >= 0) {
            ::close(stdout_);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running() const { return pid_ > 0; }

    void send(const std::string& line) {
        const std::string text = line + "\n";
        (void)!::write(stdin_, text.data(), text.size());
    }

    // Waits up to the timeout for an output line equal to expected; lines before it are kept.
    bool waitForLine(const std::string& expected, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            collect();
            for (size_t i = seen_; i < lines_.size(); ++i) {
                if (lines_[i] == expected) {
                    seen_ = i + 1;
                    return true;
                }
            }
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::milliseconds(0)) {
                return false;
            }
            pollfd fd = {stdout_, POLLIN, 0};
            ::poll(&fd, 1,
                   static_cast<int>(
                       std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) +
                       1);
        }
    }
    // Lines read so far that begin with the prefix.
    std::vector<std::string> linesStartingWith(const std::string& prefix) {
        collect();
        std::vector<std::string> found;
        for (const auto& line : lines_) {
            if (line.rfind(prefix, 0) == 0) {
                found.push_back(line);
            }
        }
        return found;
    }

    // Ends the child: SIGTERM, then SIGKILL if it has not gone within a second; always reaped.
    void stop() {
        if (pid_ <= 0) {
            return;
        }
        ::kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
    }

  private:
    void collect() {
        char chunk[512];
        ssize_t n;
        while ((n = ::read(stdout_, chunk, sizeof(chunk))) > 0) {
            partial_.append(chunk, static_cast<size_t>(n));
        }
        size_t end;
        while ((end = partial_.find('\n')) != std::string::npos) {
            lines_.push_back(partial_.substr(0, end));
            partial_.erase(0, end + 1);
        }
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
    size_t seen_ = 0;
};
