#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "cli/BatchRun.h"
#include "util/Platform.h"

namespace quillon::testing {
namespace {

// One argument as the C runtime splits a command line: quoted, backslashes before a quote
// doubled.
std::string Quoted(const std::string& argument) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

HANDLE Inheritable(HANDLE handle) {
  SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return handle;
}

HANDLE OpenForChild(const std::string& path, DWORD access) {
  const HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  return Inheritable(file);
}

void ReadAll(HANDLE pipe, std::string& text) {
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(pipe);
}

}  // namespace

Outcome RunBatch(const std::vector<std::string>& arguments, const BatchOptions& options) {
  // The command's place relative to this test program's, as the build lays them out.
  std::string program = FolderOfPath(ExecutablePath()) + "\\" + QUILLON_BATCH_PATH;
  std::replace(program.begin(), program.end(), '/', '\\');
  std::string command = Quoted(program);
  for (const std::string& argument : arguments) command += " " + Quoted(argument);

  HANDLE out_read, out_write, err_read, err_write;
  if (!CreatePipe(&out_read, &out_write, nullptr, 0) ||
      !CreatePipe(&err_read, &err_write, nullptr, 0)) {
    throw std::runtime_error("pipe");
  }
  if (options.out_closed) CloseHandle(out_read);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = OpenForChild("NUL", GENERIC_READ);
  startup.hStdOutput = options.out_file.empty() ? Inheritable(out_write)
                                                : OpenForChild(options.out_file, GENERIC_WRITE);
  startup.hStdError = options.err_file.empty() ? Inheritable(err_write)
                                               : OpenForChild(options.err_file, GENERIC_WRITE);
  PROCESS_INFORMATION process{};
  const bool started =
      CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     options.folder.empty() ? nullptr : options.folder.c_str(), &startup, &process);
  for (const HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    CloseHandle(handle);
  }
  if (startup.hStdOutput != out_write) CloseHandle(out_write);
  if (startup.hStdError != err_write) CloseHandle(err_write);
  if (!started) throw std::runtime_error("cannot start " + program);
  Outcome outcome;
  std::thread out_reader;
  if (!options.out_closed) out_reader = std::thread(ReadAll, out_read, std::ref(outcome.out));
  ReadAll(err_read, outcome.err);
  if (out_reader.joinable()) out_reader.join();
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  outcome.status = static_cast<int>(status);
  return outcome;
}

}  // namespace quillon::testing
