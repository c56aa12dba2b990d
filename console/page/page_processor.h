// Page processor: after a channel has downloaded a text file (page, style sheet, script) it
// scans the text once for references to other files, rewrites each reference to the relative
// path of the local copy inside the collection, writes the rewritten text as the new local file
// and collects the referenced addresses, with their markers, for the main program.
//
// The scanner does not parse HTML: it works on bytes around two kinds of anchors, an "=" (an
// attribute value) and a "." followed by a letter (a file name). All text is Windows-1251 (or
// anything else) held as std::string, one char per byte, compared unsigned.
//
// Only what a browser would follow is taken: attribute values (the known link attributes, srcset,
// a value that is a whole file name or address), meta refresh, style sheets (url(), @import),
// and inside scripts (script elements, script files, on... attributes, "javascript:" values) the
// quoted strings that are a file name with a known ending or an address ("http://", "https://",
// "www."). Prose and code samples are left alone. With file_names_in_text, for old sites whose
// scripts build names by hand, any word with a file ending anywhere in the text is taken too.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace orv::page {

// Receives the rewritten text piece by piece (unchanged stretch, replacement, unchanged
// stretch ...). Append returns false once the destination failed; the processor then keeps
// scanning (links are still collected) but writes nothing more.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual bool Append(const char* data, std::size_t size) = 0;
};

// Writes a new file (an existing one of that name is truncated).
class FileSink final : public OutputSink {
 public:
  explicit FileSink(const std::string& path);
  ~FileSink() override;
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  bool Append(const char* data, std::size_t size) override;
  // Flushes and closes; false when any write or the close failed.
  bool Close();

 private:
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

// Collects the output in memory (tests, benchmark).
class StringSink final : public OutputSink {
 public:
  bool Append(const char* data, std::size_t size) override {
    text.append(data, size);
    return true;
  }
  std::string text;
};

// Told once per console run, for the first processed page whose meta refresh points
// somewhere: the channel writes host, folder and address into orvext records 11, 12, 27.
class StartRedirectSink {
 public:
  virtual ~StartRedirectSink() = default;
  virtual void StartRedirect(const std::string& host, const std::string& folder,
                             const std::string& address) = 0;
};

// The channel values the processor works with.
struct PageJob {
  std::string url;               // clean address of the page (markers removed)
  std::string page_folder_url;   // url up to and including its last "/"
  std::string referrer_folder;   // text after "(((((" in the taken address, or empty
  std::string site_root;         // the page's scheme ("http://" or "https://") + site part + "/"
  std::string site_root_prefix;  // "../" + site part + "/"
  bool frame_flag = false;       // the page itself was taken with ")ifra("
  bool frame_mode = false;       // orvext record 14 is "1"
  std::string levels_up;         // "../" per level from the page's folder to the collection
  bool search_mode = false;      // orvext record 28
  bool preview = false;          // search mode: also report cached copies
  bool embedded_mode = false;    // orvext records 6 and 13 both non-empty at the start
  std::string collection;        // collection folder, ending with "/" (links come out relative)
  std::string local_path;        // where ProcessPageFile writes the new file
  // The script option "Имена файлов в тексте": take file names anywhere in the text.
  bool file_names_in_text = false;
  // The answer's Content-Type (lower case; may be empty): tells a style sheet or a script from
  // a page, with the address's ending when it says nothing.
  std::string content_type;
};

struct PageResult {
  // Element 0 holds the number of the last element as decimal text (the orvurl count);
  // elements 1..n are the reported addresses with their markers.
  std::vector<std::string> found_links{std::string("0")};
  bool written = false;  // the output was written completely
  bool truncated_scan = false;  // a value ran off the end: the rest was copied unchanged
};

// Processes `text` and sends the new file's bytes to `out`. `processed_pages` is the
// console-wide processed-page counter (0, 1, 2; set to 3 once a start redirect was reported).
// `redirect` may be null.
PageResult ProcessPage(std::string text, const PageJob& job, OutputSink& out,
                       int& processed_pages, StartRedirectSink* redirect);

// Same, writing the new file beside job.local_path and renaming it over the downloaded page
// once complete. When it cannot be written the downloaded page stays as it came (nothing
// half-written is left) and the links are still returned; `written` is false then.
PageResult ProcessPageFile(std::string text, const PageJob& job, int& processed_pages,
                           StartRedirectSink* redirect);

}  // namespace orv::page
