// A whole run of `orv --batch` against a 500-page loopback site: wall time and the main
// program's own CPU time (user + system, from wait4). The console takes at most one address
// every 0.1 s at the highest intensity, so 500 pages cannot take less than 50 s.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Serves "/" (links to every page) and "/p<N>.html" (a small page linking back).
class SiteServer {
 public:
  explicit SiteServer(int pages) : pages_(pages) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 64);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Loop(); });
  }
  ~SiteServer() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    thread_.join();
  }
  int Port() const { return port_; }
  int Served() const { return served_; }

 private:
  void Loop() {
    while (!stop_) {
      const int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      std::thread([this, c] { Answer(c); }).detach();
    }
  }
  void Answer(int c) {
    std::string head;
    char buf[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = ::recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      head.append(buf, static_cast<size_t>(n));
    }
    const size_t s1 = head.find(' '), s2 = head.find(' ', s1 + 1);
    const std::string path = s1 == std::string::npos ? "/" : head.substr(s1 + 1, s2 - s1 - 1);
    std::string body;
    int status = 200;
    if (path == "/" || path == "/index.html") {
      body = "<html><body>";
      for (int i = 1; i < pages_; ++i) body += "<a href=\"p" + std::to_string(i) + ".html\">" + std::to_string(i) + "</a>\n";
      body += "</body></html>";
    } else if (path.rfind("/p", 0) == 0) {
      body = "<html><body><a href=\"index.html\">up</a>" + std::string(2000, 'x') + "</body></html>";
    } else {
      status = 404;
    }
    std::string out = "HTTP/1.1 " + std::string(status == 200 ? "200 OK" : "404 Not Found") +
                      "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body;
    size_t off = 0;
    while (off < out.size()) {
      const ssize_t n = ::send(c, out.data() + off, out.size() - off, MSG_NOSIGNAL);
      if (n <= 0) break;
      off += static_cast<size_t>(n);
    }
    ::close(c);
    ++served_;
  }
  int pages_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> served_{0};
  std::thread thread_;
};

void BM_BatchRunOfALoopbackSite(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const fs::path bin = ORV_BIN_DIR;
  if (!fs::exists(bin / "orv") || !fs::exists(bin / "kuvet")) {
    state.SkipWithError("orv and kuvet are not built");
    return;
  }
  for (auto _ : state) {
    char tmpl[] = "/tmp/orvbench.XXXXXX";
    const fs::path root = ::mkdtemp(tmpl);
    fs::create_directories(root / "prog/temp");
    fs::create_directories(root / "config/belmor");
    fs::create_directories(root / "coll");
    fs::copy_file(bin / "orv", root / "prog/orv");
    fs::copy_file(bin / "kuvet", root / "prog/kuvet");
    std::ofstream(root / "config/belmor/orvanta.conf")
        << "[orvanta]\nMocConnect=True\nLanConnect=False\nPFOLD=" << (root / "coll").string() << "/\n";

    SiteServer site(pages);
    const std::string address = "http://127.0.0.1:" + std::to_string(site.Port()) + "/";
    const std::string orv = (root / "prog/orv").string();
    std::vector<std::string> envs = {"XDG_CONFIG_HOME=" + (root / "config").string(),
                                     "HOME=" + root.string(), "QT_QPA_PLATFORM=offscreen"};
    for (char** e = environ; *e; ++e) {
      const std::string kv = *e;
      if (kv.rfind("XDG_CONFIG_HOME=", 0) != 0 && kv.rfind("HOME=", 0) != 0) envs.push_back(kv);
    }
    std::vector<char*> envp;
    for (auto& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string a0 = orv, a1 = "--batch", a2 = address;
    char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (::posix_spawn(&pid, orv.c_str(), &fa, nullptr, argv, envp.data()) != 0) {
      state.SkipWithError("cannot start orv");
      break;
    }
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&fa);
    state.SetIterationTime(wall);

    const double cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
    size_t saved = 0;
    for (const auto& e : fs::recursive_directory_iterator(root / "coll"))
      if (e.is_regular_file() && e.path().extension() == ".html") ++saved;
    state.counters["wall_s"] = wall;
    state.counters["orv_cpu_s"] = cpu;
    state.counters["orv_cpu_pct"] = 100.0 * cpu / wall;
    state.counters["pages_saved"] = static_cast<double>(saved);
    state.counters["exit"] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    fs::remove_all(root);
  }
}

BENCHMARK(BM_BatchRunOfALoopbackSite)->Arg(500)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
