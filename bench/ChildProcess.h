// Programs that window-bench starts and times: their standard output read until they end.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

// Runs a program with its standard output read here until it ends (its errors dropped when
// quiet). first_byte gets the seconds from its start to the first byte it wrote; false when it
// failed.
inline bool RunChild(std::vector<std::string> arguments, std::string& output, double& first_byte,
                     bool quiet = false) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  if (quiet) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t child = 0;
  const bool started = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  first_byte = -1;
  char buffer[4096];
  for (ssize_t got; started && (got = read(ends[0], buffer, sizeof buffer)) != 0;) {
    if (got < 0) continue;
    if (first_byte < 0) {
      first_byte = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    output.append(buffer, static_cast<std::size_t>(got));
  }
  close(ends[0]);
  int status = 0;
  if (started) waitpid(child, &status, 0);
  return started && WIFEXITED(status) && WEXITSTATUS(status) == 0 && first_byte >= 0;
}
