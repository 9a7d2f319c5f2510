#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace velk::test {

struct ChildRun {
  int status = -1;  // the exit status; -1 when it did not exit
  std::string out;
};

// Runs a shell command, its standard output collected. It sees this process's testbed.
inline ChildRun RunChild(const std::string& command) {
  ChildRun run;
  FILE* out = popen(command.c_str(), "r");
  if (out == nullptr) return run;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;) run.out.append(chunk, n);
  const int status = pclose(out);
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

}  // namespace velk::test
