// The real `orv --batch` run against a loopback site, in a private program, configuration and
// collection folder: the fixture the end-to-end run tests share.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/local_path.h"
#include "platform/settings.h"
#include "tests/support/http_test_server.h"
#include "tests/support/program_folder.h"

namespace orvtest {

inline Answer Html(std::string body) {
  Answer a;
  a.headers = {"Content-Type: text/html"};
  a.body = std::move(body);
  return a;
}

struct BatchRun {
  int status = -1;
  std::string output;
};

class BatchRunFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(std::filesystem::path(ORV_BIN_DIR) / "orv") || !std::filesystem::exists(std::filesystem::path(ORV_BIN_DIR) / "kuvet"))
      GTEST_SKIP() << "orv and kuvet are not built";
    prog_.UseLoopbackSites();
  }

  // Starts orv --batch; `during` runs while it works (it may interrupt it).
  BatchRun Run(const std::string& address, const std::function<void(ChildProcess&)>& during = {}) {
    return RunAll({address}, during);
  }
  // Several runs, one after another, from one orv process.
  BatchRun RunAll(const std::vector<std::string>& addresses,
                  const std::function<void(ChildProcess&)>& during = {}) {
    return RunWrapped("", addresses, during);
  }
  // Runs orv --batch in new namespaces of the kinds `unshareFlags` names (unshare(1)), after the
  // shell commands `setup` ran there (mounts over the collection folder, for example).
  BatchRun RunWrapped(const std::string& unshareFlags, const std::vector<std::string>& addresses,
                      const std::function<void(ChildProcess&)>& during = {}, const std::string& setup = "") {
    const std::string out = prog_.Root() + "out.txt";
    ChildProcess child;
    std::string cmd = shellPrefix_ + "exec '" + prog_.Prog() + "orv' --batch";
    for (const auto& a : addresses) cmd += " '" + a + "'";
    cmd += " > '" + out + "' 2>&1";
    if (!unshareFlags.empty()) {
      orvtest::WriteWholeFile(prog_.Root() + "wrapped.sh", "set -e\n" + setup + "\n" + cmd + "\n");
      cmd = "exec unshare " + unshareFlags + " sh '" + prog_.Root() + "wrapped.sh'";
    }
    std::map<std::string, std::string> env = {{"HOME", prog_.Root()},
                                              {"XDG_CONFIG_HOME", prog_.Config()},
                                              {"ASAN_OPTIONS", "detect_leaks=0"},
                                              {"QT_QPA_PLATFORM", "offscreen"}};
    env.insert(extraEnv_.begin(), extraEnv_.end());
    EXPECT_TRUE(child.Start("/bin/sh", {"-c", cmd}, prog_.Prog(), env));
    if (during) during(child);
    BatchRun r;
    r.status = child.WaitExit(90000);
    r.output = orvtest::ReadWholeFile(out);
    return r;
  }

  std::string Local(const std::string& address) const {
    return orv::LocalNameOf(address, prog_.Collection()).path;
  }
  bool Saved(const std::string& address) const { return std::filesystem::exists(Local(address)); }

  ProgramFolder prog_;
  std::string shellPrefix_;  // shell commands run before orv, in its shell (limits)
  std::map<std::string, std::string> extraEnv_;  // added to orv's environment
};

}  // namespace orvtest
