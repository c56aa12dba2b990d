// End-to-end HTTPS runs: the real `orv --batch` and the real console mirror a loopback site that
// speaks TLS with a certificate of a per-run authority, trusted through SSL_CERT_FILE.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "common/local_path.h"
#include "common/string_list.h"
#include "main/collection/tree_commands.h"
#include "platform/file_attributes.h"
#include "platform/settings.h"
#include "tests/main/run/batch_run_fixture.h"
#include "tests/support/tls_authority.h"

namespace fs = std::filesystem;
using orvtest::Answer;
using orvtest::ChildProcess;
using orvtest::Html;
using orvtest::HttpTestServer;

namespace {

class SecureBatchTest : public orvtest::BatchRunFixture {
 protected:
  void SetUp() override {
    BatchRunFixture::SetUp();
    if (IsSkipped()) return;
    bundle_ = prog_.Root() + "authority.pem";
    ASSERT_TRUE(authority_.WriteBundle(bundle_));
    extraEnv_["SSL_CERT_FILE"] = bundle_;
  }

  // orv --batch address; returns the exit status, output in output_.
  int Run(const std::string& address) {
    const orvtest::BatchRun r = BatchRunFixture::Run(address);
    output_ = r.output;
    return r.status;
  }

  // Every relative link (href, src, srcset candidates, url(), @import strings) of every saved
  // page or style sheet, as a browser would open it, names a stored file.
  std::vector<std::string> BrokenLocalLinks(int& checked) const {
    std::vector<std::string> broken;
    const std::regex link(
        R"re((?:href|src)\s*=\s*"([^"]*)"|srcset\s*=\s*"([^"]*)"|url\(\s*['"]?([^'")]+)['"]?\s*\)|@import\s+"([^"]+)")re",
        std::regex::icase);
    for (const auto& e : fs::recursive_directory_iterator(prog_.Collection())) {
      if (!e.is_regular_file()) continue;
      const std::string ext = e.path().extension().string();
      if (ext != ".html" && ext != ".htm" && ext != ".css") continue;
      const std::string text = orvtest::ReadWholeFile(e.path());
      for (std::sregex_iterator it(text.begin(), text.end(), link), end; it != end; ++it) {
        std::vector<std::string> targets;
        if ((*it)[2].matched) {
          // "a.png 1x, b.png 480w": the address of each candidate, its descriptor aside.
          std::string set = (*it)[2].str();
          for (std::size_t from = 0; from < set.size();) {
            std::size_t comma = set.find(',', from);
            std::string candidate = set.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
            from = comma == std::string::npos ? set.size() : comma + 1;
            std::size_t b = candidate.find_first_not_of(' ');
            if (b == std::string::npos) continue;
            targets.push_back(candidate.substr(b, candidate.find(' ', b) - b));
          }
        } else {
          for (int g : {1, 3, 4})
            if ((*it)[g].matched) targets.push_back((*it)[g].str());
        }
        for (std::string target : targets) {
          if (target.empty() || target.find(':') != std::string::npos || target[0] == '#') continue;
          fs::path p = e.path().parent_path() / target;
          if (target.back() == '/') p /= "index.html";
          ++checked;
          if (!fs::exists(p)) broken.push_back(e.path().string() + " -> " + target);
        }
      }
    }
    return broken;
  }

  orvtest::TestAuthority authority_;
  std::string bundle_;
  std::string output_;
};

TEST_F(SecureBatchTest, AnHttpStartRedirectedToHttpsMirrorsTheSiteOnceWithWorkingLinks) {
  HttpTestServer site;
  site.EnableTls(authority_.Issue({"localhost"}, {"127.0.0.1"}), true);
  const std::string plain = "http://" + site.HostPort();
  const std::string secure = "https://" + site.HostPort();
  // Another path under https: a redirect the run follows (the same path would be a move the
  // console follows itself).
  site.Serve("http:/", Answer{.status = 301, .headers = {"Location: " + secure + "/index.html"}});
  const Answer start = Html("<html><head><link rel=stylesheet href=\"style.css\"></head><body>"
                       "<a href=\"a/page.html\">a</a> <a href=\"" + plain + "/b.html\">b</a> "
                       "<a href=\"" + secure + "/b.html\">b again</a>"
                       "<img src=\"img/one.png\" srcset=\"img/one.png 1x, img/two.png 2x\">"
                       "<picture><source srcset=\"img/w320.webp 320w, img/w640.webp 640w\"></picture>"
                       "</body></html>");
  site.Serve("/", start);
  site.Serve("/index.html", start);
  site.Serve("/style.css", Answer{.headers = {"Content-Type: text/css"},
                                  .body = "@import \"more.css\";\nbody { background: url(img/bg.png) }"});
  site.Serve("/more.css", Answer{.headers = {"Content-Type: text/css"}, .body = "p { color: red }"});
  site.Serve("/a/page.html", Html("<html><a href=\"../c.html\">c</a> <a href=\"/b.html\">b</a></html>"));
  site.Serve("/b.html", Html("<html>b</html>"));
  site.Serve("/c.html", Html("<html>c</html>"));
  for (const char* image : {"/img/one.png", "/img/two.png", "/img/w320.webp", "/img/w640.webp", "/img/bg.png"})
    site.Serve(image, Answer{.headers = {"Content-Type: image/png"}, .body = std::string("IMG") + image});

  ASSERT_EQ(Run(plain + "/"), 0) << output_;

  for (const char* path : {"/index.html", "/style.css", "/more.css", "/a/page.html", "/b.html", "/c.html",
                           "/img/one.png", "/img/two.png", "/img/w320.webp", "/img/w640.webp", "/img/bg.png"})
    EXPECT_TRUE(Saved(secure + path)) << path << "\n" << output_;
  EXPECT_EQ(orvtest::ReadWholeFile(Local(secure + "/img/two.png")), "IMG/img/two.png");
  // Linked under both schemes, fetched once.
  EXPECT_EQ(site.Count("/b.html"), 1u);
  EXPECT_EQ(site.Count("/index.html"), 1u);
  int checked = 0;
  const auto broken = BrokenLocalLinks(checked);
  EXPECT_TRUE(broken.empty()) << ::testing::PrintToString(broken);
  EXPECT_GE(checked, 12);
  // The site folder remembers that the site was fetched over HTTPS.
  EXPECT_EQ(orv::ReadSiteScheme(orv::SiteFolderOf(Local(secure + "/b.html"), prog_.Collection())), "https");
  // ... and the way back from a stored file to its address (address bar, status line) uses it.
  EXPECT_EQ(orv::collection::WebAddressOf(Local(secure + "/a/page.html"), prog_.Collection()),
            secure + "/a/page.html");
}

// Most sites answer a page's http:// address with a move to the same page under https://.
TEST_F(SecureBatchTest, PagesMovedToHttpsAreFetchedThereTheStartAddressIncluded) {
  HttpTestServer site;
  site.EnableTls(authority_.Issue({"localhost"}, {"127.0.0.1"}), true);
  const std::string plain = "http://" + site.HostPort();
  const std::string secure = "https://" + site.HostPort();
  for (const char* path : {"/index.html", "/p.html"})
    site.Serve(std::string("http:") + path, Answer{.status = 301, .headers = {"Location: " + secure + path}});
  site.Serve("/index.html", Html("<html><a href=\"" + plain + "/p.html\">p</a> <a href=\"q.html\">q</a></html>"));
  site.Serve("/p.html", Html("<html><a href=\"index.html\">home</a> <a href=\"q.html\">q</a></html>"));
  site.Serve("/q.html", Html("<html>q</html>"));

  ASSERT_EQ(Run(plain + "/index.html"), 0) << output_;
  EXPECT_NE(output_.find("сохранено файлов 3 "), std::string::npos) << output_;
  for (const char* path : {"/index.html", "/p.html", "/q.html"}) EXPECT_TRUE(Saved(secure + path)) << path;
  // Each moved page: once under each scheme; the rest once.
  EXPECT_EQ(site.Count("/index.html"), 2u);
  EXPECT_EQ(site.Count("/p.html"), 2u);
  EXPECT_EQ(site.Count("/q.html"), 1u);
  // One folder for the site, which remembers that it is served over HTTPS.
  std::set<std::string> folders;
  for (const auto& e : fs::directory_iterator(prog_.Collection()))
    if (e.is_directory()) folders.insert(e.path().string());
  EXPECT_EQ(folders, std::set<std::string>{orv::SiteFolderOf(Local(secure + "/q.html"), prog_.Collection())});
  EXPECT_EQ(orv::ReadSiteScheme(orv::SiteFolderOf(Local(secure + "/q.html"), prog_.Collection())), "https");
  int checked = 0;
  EXPECT_TRUE(BrokenLocalLinks(checked).empty());
  EXPECT_GE(checked, 4);
}

TEST_F(SecureBatchTest, AnUnknownCertificateFailsTheAddressUnlessTheCheckIsSwitchedOff) {
  HttpTestServer site;
  site.EnableTls(orvtest::TestAuthority::SelfSigned({"localhost"}, {"127.0.0.1"}));
  site.Serve("/", Html("<html><a href=\"x.html\">x</a></html>"));
  site.Serve("/x.html", Html("<html>x</html>"));
  const std::string start = site.Url("/");

  Run(start);
  EXPECT_FALSE(Saved(start)) << output_;
  EXPECT_EQ(site.Count("/"), 0u);  // the handshake failed: no request was sent

  orv::WriteSetting("NoCertCheck", "True");
  ASSERT_EQ(Run(start), 0) << output_;
  EXPECT_TRUE(Saved(start)) << output_;
  EXPECT_TRUE(Saved(site.Url("/x.html"))) << output_;
}

// Through a proxy that asks for a login, over CONNECT: a partial copy is resumed from where it
// stopped (the proxy's "200 Connection established" is not the server's answer), and a
// certificate the run does not trust is counted as one.
TEST_F(SecureBatchTest, ThroughALoginProxyAPartialCopyIsResumedAndARefusedCertificateCounted) {
  HttpTestServer site, stranger, proxy;
  site.EnableTls(authority_.Issue({"localhost"}, {"127.0.0.1"}));
  stranger.EnableTls(orvtest::TestAuthority::SelfSigned({"localhost"}, {"127.0.0.1"}));
  constexpr int64_t kSize = 300000, kHave = 100000;
  site.Serve("/big.bin", Answer{.generatedSize = kSize, .ranges = true});
  stranger.Serve("/", Html("<html>x</html>"));
  proxy.RequireProxyLogin("puser", "psecret");
  ASSERT_TRUE(orv::WriteStringArrayFile(prog_.Prog() + "orvproxy", {"1", proxy.HostPort() + "@@@@@puser:psecret"}));
  orv::WriteSetting("p_Proxy", "True");
  orv::WriteSetting("MPRX", proxy.HostPort());

  const std::string local = Local(site.Url("/big.bin"));
  fs::create_directories(fs::path(local).parent_path());
  orvtest::WriteWholeFile(local, orvtest::PatternBody(kHave));
  ASSERT_TRUE(orv::SetSystemMark(local));
  ASSERT_EQ(Run(site.Url("/big.bin")), 0) << output_;
  EXPECT_EQ(orvtest::ReadWholeFile(local), orvtest::PatternBody(kSize));
  const std::vector<orvtest::Request> asked = site.Requests("/big.bin");
  ASSERT_EQ(asked.size(), 1u) << output_;
  EXPECT_EQ(asked[0].Header("Range").value_or(""), "bytes=" + std::to_string(kHave) + "-");
  EXPECT_FALSE(asked[0].Header("Proxy-Authorization"));  // the login is the proxy's alone

  EXPECT_EQ(Run(stranger.Url("/")), 5) << output_;
  EXPECT_NE(output_.find("сертификат 1,"), std::string::npos) << output_;
  EXPECT_NE(output_.find("прочие 0)"), std::string::npos) << output_;
}

}  // namespace
