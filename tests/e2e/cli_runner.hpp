// cli_runner.hpp - runs vantorelle-decode as a child process and collects what it printed.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace vantorelle::test {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

// A program that runs longer than this is killed, so a hang fails the test
// instead of stalling the suite.
inline constexpr unsigned kCliTimeLimitSeconds = 120;

// Runs the program with the arguments in folder cwd; standard input is empty.
// in_child, when given, runs in the child just before the program starts
// (to close a standard stream, set a limit, ...).
inline CliResult run_cli(const std::string& program, const std::vector<std::string>& args,
                         const std::string& cwd, const std::function<void()>& in_child = {}) {
  TempDir capture;
  const std::string out_path = capture.file("out");
  const std::string err_path = capture.file("err");
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::close(in);
    ::close(out);
    ::close(err);
    if (in_child) in_child();
    ::alarm(kCliTimeLimitSeconds);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  CliResult result;
  int wstatus = 0;
  if (pid > 0 && ::waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) {
    result.status = WEXITSTATUS(wstatus);
  }
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

}  // namespace vantorelle::test
