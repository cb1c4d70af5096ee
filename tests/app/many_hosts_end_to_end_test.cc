// The README's and the manual page's recipe for many hosts: GNU parallel runs
// the tool once per case, one output file per host. Here over three triage
// folders made from the built-in sample image (the whole image, its folder
// of logs alone, its System log alone), on this machine's cores and through
// a node file that names this machine (":"), as a list of remote machines
// would; each file must hold the bytes of a single run over its folder.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/platform/offline/image/image_test_util.h"
#include "tests/support/run_tool.h"

namespace qrv {
namespace {

namespace fs = std::filesystem;
using test_support::RunTool;
using test_support::ToolResult;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ManyHostsEndToEnd, GnuParallelWritesEachHostTheBytesOfASingleRun) {
#ifndef QRV_PARALLEL_PATH
  GTEST_SKIP() << "GNU parallel (Debian package parallel) was not found at configure time";
#else
  const offline::testing::TempFolder work;
  ASSERT_FALSE(work.path().empty());
  const fs::path sample = QRV_SAMPLE_IMAGE_DIR;
  const fs::path logs = sample / "Windows/System32/winevt/Logs";
  const fs::path cases = work.path() / "cases";
  fs::create_directories(cases / "host-c");
  fs::copy(sample, cases / "host-a", fs::copy_options::recursive);
  // The output file is named after the case less its extension.
  fs::copy(logs, cases / "host-b.triage", fs::copy_options::recursive);
  fs::copy_file(logs / "System.evtx", cases / "host-c/System.evtx");
  std::ofstream(work.path() / "nodes") << ":\n";

  // One run per host, as a user would make it.
  const char* const hosts[] = {"host-a", "host-b.triage", "host-c"};
  std::vector<std::string> singles;
  for (const char* host : hosts) {
    setenv("QRV_EVENTLOG_ROOT", (cases / host).c_str(), 1);
    const ToolResult single = RunTool(QRV_TOOL_PATH, {"NOWARN", "GETEVENTS"});
    unsetenv("QRV_EVENTLOG_ROOT");
    ASSERT_EQ(single.exit_status, 0);
    ASSERT_NE(single.out, "") << host;
    singles.push_back(single.out);
  }
  // Three different outputs, so that a file written from the wrong case
  // would show.
  ASSERT_EQ(std::set<std::string>(singles.begin(), singles.end()).size(), 3u);

  const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  setenv("PATH", (fs::path(QRV_TOOL_PATH).parent_path().string() + ":" + path).c_str(), 1);
  const char* const recipes[] = {
      "parallel 'QRV_EVENTLOG_ROOT={} QRV_EventLog_Tools NOWARN GETEVENTS > out/{/.}.tsv' "
      "::: cases/*",
      "parallel --sshloginfile nodes --return out/{/.}.tsv --cleanup "
      "'mkdir -p out && QRV_EVENTLOG_ROOT={} QRV_EventLog_Tools NOWARN GETEVENTS > "
      "out/{/.}.tsv' ::: \"$PWD\"/cases/*",
  };
  for (const char* recipe : recipes) {
    SCOPED_TRACE(recipe);
    fs::remove_all(work.path() / "out");
    fs::create_directory(work.path() / "out");
    const ToolResult run =
        RunTool("/bin/sh", {"-c", "cd '" + work.path().string() + "' && " + recipe});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    for (size_t i = 0; i < singles.size(); ++i) {
      const std::string file = fs::path(hosts[i]).stem().string() + ".tsv";
      EXPECT_EQ(ReadFile(work.path() / "out" / file), singles[i]) << file;
    }
  }
  setenv("PATH", path.c_str(), 1);
#endif
}

}  // namespace
}  // namespace qrv
