// Feeds arbitrary bytes to the page processor. The first byte picks the channel flags, the
// rest is the page text. Besides crashes, hangs and undefined behaviour it checks what must
// hold for every input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/page/page_processor.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  orv::page::PageJob job;
  job.url = (flags & 0x40) ? "http://s.com/page.html" : "http://s.com/dir/sub/page.htm";
  job.page_folder_url = job.url.substr(0, job.url.rfind('/') + 1);
  job.referrer_folder = (flags & 0x80) ? "http://r.org/from/" : "";
  job.site_root = "http://s.com/";
  job.site_root_prefix = "../s.com/";
  job.levels_up = (flags & 0x40) ? "../" : "../../../";
  job.search_mode = flags & 0x01;
  job.preview = flags & 0x02;
  job.frame_mode = flags & 0x04;
  job.frame_flag = flags & 0x08;
  job.embedded_mode = flags & 0x10;
  job.file_names_in_text = (size & 1) != 0;  // every flag bit is taken: the length picks the rule
  int pages = (flags & 0x20) ? 1 : 2;

  struct Redirect : orv::page::StartRedirectSink {
    int calls = 0;
    void StartRedirect(const std::string&, const std::string&, const std::string& a) override {
      ++calls;
      Check(!a.empty());
    }
  } redirect;

  orv::page::StringSink sink;
  orv::page::PageResult r = orv::page::ProcessPage(text, job, sink, pages, &redirect);

  Check(!r.found_links.empty());
  Check(r.found_links[0] == std::to_string(r.found_links.size() - 1));
  for (std::size_t i = 1; i < r.found_links.size(); ++i) Check(r.found_links[i].size() >= 10);
  Check(redirect.calls <= 1);
  Check(redirect.calls == 0 || pages == 3);
  Check(r.written);
  // Outside search mode no rewritten link adds or removes a quote or an angle bracket: a
  // decoded link must not end its attribute or open an element in the saved page.
  if (!job.search_mode) {
    for (char c : {'"', '\'', '<', '>'}) {
      Check(std::count(sink.text.begin(), sink.text.end(), c) == std::count(text.begin(), text.end(), c));
    }
  }
  // Outside search mode nothing is cut: a text without anchors comes out as it went in.
  std::string lower = text;
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  if (!job.search_mode && text.find_first_of(".=") == std::string::npos &&
      lower.find("base ") == std::string::npos) {
    Check(sink.text == text);
  }
  return 0;
}
