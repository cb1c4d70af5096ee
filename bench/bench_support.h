// What several benchmarks share: the shared corpus's .evtx files, and one
// run of a command timed from start to exit.
// Entry points: SharedDir, CorpusFiles, LargestCorpusFiles, TimeCommand.
#ifndef QRV_BENCH_BENCH_SUPPORT_H_
#define QRV_BENCH_BENCH_SUPPORT_H_

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace qrv::bench {

// $QRV_SHARED_DIR when set, else the folder the build was configured with.
std::filesystem::path SharedDir();

// Every .evtx file below SharedDir()/corpus, sorted by path; empty when
// there is no corpus.
std::vector<std::filesystem::path> CorpusFiles();

// The n largest of CorpusFiles(): largest first, equal sizes (many corpus
// files are 2,166,784 bytes) by path, so every run reads the same files.
std::vector<std::filesystem::path> LargestCorpusFiles(size_t n);

struct Timing {
  double wall = -1;  // negative: the command could not run or was killed
  double cpu = 0;    // user + system time of the child
  int exit_status = -1;
};

// Runs argv (argv[0] looked up on PATH) with standard output and error on
// /dev/null. The machine may be shared, so the child's CPU time is reported
// beside the wall time.
Timing TimeCommand(const std::vector<std::string>& argv);

}  // namespace qrv::bench

#endif  // QRV_BENCH_BENCH_SUPPORT_H_
