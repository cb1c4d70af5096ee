// Corpus files and timed commands for the benchmarks; see bench_support.h.
#include "bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

extern char** environ;

namespace qrv::bench {

namespace fs = std::filesystem;

fs::path SharedDir() {
  const char* env = std::getenv("QRV_SHARED_DIR");
  return env != nullptr ? fs::path(env) : fs::path(QRV_SHARED_DIR);
}

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  const fs::path root = SharedDir() / "corpus";
  if (!fs::exists(root)) return files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file() && e.path().extension() == ".evtx")
      files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<fs::path> LargestCorpusFiles(size_t n) {
  std::vector<fs::path> files = CorpusFiles();
  std::stable_sort(files.begin(), files.end(),
                   [](const fs::path& a, const fs::path& b) {
                     return fs::file_size(a) > fs::file_size(b);
                   });
  if (files.size() > n) files.resize(n);
  return files;
}

Timing TimeCommand(const std::vector<std::string>& argv) {
  Timing t;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc =
      posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return t;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status)) return t;
  t.exit_status = WEXITSTATUS(status);
  t.wall = std::chrono::duration<double>(end - start).count();
  t.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
          1e-6 * static_cast<double>(usage.ru_utime.tv_usec +
                                     usage.ru_stime.tv_usec);
  return t;
}

}  // namespace qrv::bench
