// A real web server that compresses what it sends (nginx with gzip on), serving a folder on
// loopback: `orv --batch` stores every file as the folder has it, and counts decoded bytes.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "tests/main/run/batch_run_fixture.h"

namespace fs = std::filesystem;

namespace {

// A loopback port nobody listens on at the moment of asking.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(fd);
  return port;
}

bool Answers(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

// nginx in the foreground as one process, configured inside folder, serving site on port;
// its access log names each answer's path and content encoding.
class Nginx {
 public:
  Nginx(const std::string& folder, const std::string& site) : folder_(folder) {
    const char* binary = "/usr/sbin/nginx";
    if (!fs::exists(binary)) {
      why_ = "nginx is not installed (package nginx)";
      return;
    }
    port_ = FreePort();
    fs::create_directories(folder + "tmp");
    std::ofstream(folder + "nginx.conf")
        << "daemon off; master_process off; worker_processes 1;\n"
        << "pid " << folder << "nginx.pid; error_log " << folder << "error.log;\n"
        << "events { worker_connections 64; }\n"
        << "http {\n"
        << "  log_format enc '$uri $sent_http_content_encoding';\n"
        << "  access_log " << folder << "access.log enc;\n"
        << "  client_body_temp_path " << folder << "tmp; proxy_temp_path " << folder << "tmp;\n"
        << "  fastcgi_temp_path " << folder << "tmp; uwsgi_temp_path " << folder << "tmp; scgi_temp_path "
        << folder << "tmp;\n"
        << "  types { text/html html; text/css css; application/javascript js; text/plain txt;\n"
        << "          image/svg+xml svg; application/gzip gz; image/png png; }\n"
        << "  gzip on; gzip_min_length 1; gzip_comp_level 6;\n"
        << "  gzip_types text/css application/javascript text/plain image/svg+xml;\n"
        << "  server { listen 127.0.0.1:" << port_ << "; root " << site << "; }\n"
        << "}\n";
    if (port_ <= 0 || !child_.Start(binary, {"-p", folder, "-c", folder + "nginx.conf"}, folder)) {
      why_ = "nginx could not be started";
      return;
    }
    for (int i = 0; i < 100 && !Answers(port_); ++i) {
      if (!child_.Running()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!Answers(port_)) why_ = "nginx did not start: " + orvtest::ReadWholeFile(folder + "error.log");
  }
  ~Nginx() { child_.Kill(); }
  const std::string& WhyNot() const { return why_; }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  // The paths nginx answered with a content encoding.
  std::set<std::string> Encoded() const {
    std::set<std::string> paths;
    std::ifstream log(folder_ + "access.log");
    for (std::string path, encoding; log >> path >> encoding;)
      if (encoding != "-") paths.insert(path);
    return paths;
  }

 private:
  std::string folder_;
  int port_ = -1;
  std::string why_;
  orvtest::ChildProcess child_;
};

class CompressedSiteTest : public orvtest::BatchRunFixture {};

TEST_F(CompressedSiteTest, EveryFileOfAGzippingServerIsStoredAsTheFolderHasIt) {
  const std::string site = prog_.Root() + "site/";
  std::string text;
  for (int i = 0; i < 6000; ++i) text += "line " + std::to_string(i) + ": a text that packs well\n";
  std::map<std::string, std::string> files = {
      {"style.css", "body { font-family: serif; }\n" + std::string(4000, ' ') + "p { margin: 0 }\n"},
      {"js/app.js", "function hello() { return 'hello'; }\n" + std::string(3000, '/') + "\n"},
      {"notes.txt", text},
      {"logo.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"><rect width=\"10\" "
                   "height=\"10\" fill=\"red\"/></svg>\n"},
      // Bytes that are a packed file already: stored as they are, never unpacked.
      {"data.tar.gz", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + std::string(500, '\x7f')},
  };
  files["index.html"] = "<html><head><link rel=\"stylesheet\" href=\"style.css\"><script src=\"js/app.js\"></script>"
                        "</head><body><p>The compressed page.</p><img src=\"logo.svg\"> <a href=\"notes.txt\">notes</a>"
                        " <a href=\"data.tar.gz\">data</a>" + std::string(2000, ' ') + "</body></html>\n";
  int64_t bytes = 0;
  for (const auto& [name, body] : files) {
    fs::create_directories(fs::path(site + name).parent_path());
    orvtest::WriteWholeFile(site + name, body);
    bytes += static_cast<int64_t>(body.size());
  }
  Nginx nginx(prog_.Root() + "nginx/", site);
  if (!nginx.WhyNot().empty()) GTEST_SKIP() << nginx.WhyNot();

  const orvtest::BatchRun r = Run(nginx.Url("/index.html"));
  ASSERT_EQ(r.status, 0) << r.output;
  for (const auto& [name, body] : files) {
    const std::string copy = Local(nginx.Url("/" + name));
    ASSERT_TRUE(fs::exists(copy)) << name << "\n" << r.output;
    // The page is rewritten for the copy; its text arrives decoded all the same.
    if (name == "index.html") {
      EXPECT_NE(orvtest::ReadWholeFile(copy).find("<p>The compressed page.</p>"), std::string::npos);
    } else {
      EXPECT_TRUE(orvtest::ReadWholeFile(copy) == body) << name << " differs from the served file";
    }
  }
  // The server did compress, so the copy above is the decoded body.
  const std::set<std::string> encoded = nginx.Encoded();
  for (const char* path : {"/index.html", "/style.css", "/js/app.js", "/notes.txt", "/logo.svg"})
    EXPECT_EQ(encoded.count(path), 1u) << path << " was sent uncompressed";
  // The run counts the decoded bytes it saved.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.output, m, std::regex("сохранено файлов (\\d+) \\((\\d+) байт\\)"))) << r.output;
  EXPECT_EQ(m[1].str(), std::to_string(files.size()));
  EXPECT_EQ(m[2].str(), std::to_string(bytes));
}

}  // namespace
