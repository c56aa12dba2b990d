#pragma once
// A private folder per test for the list files; removed with its contents afterwards.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace orv::lists_testing {

class ListsFolder {
 public:
  ListsFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orv-lists-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~ListsFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ListsFolder(const ListsFolder&) = delete;
  ListsFolder& operator=(const ListsFolder&) = delete;

  // Ends with "/", as the program and exchange folders do.
  std::string Dir() const { return path_.string() + "/"; }

  std::string Read(const std::string& name) const { return ReadPath((path_ / name).string()); }
  static std::string ReadPath(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

 private:
  std::filesystem::path path_;
};

// One counted string as the list files store it: 16-bit little-endian length, then the bytes.
inline std::string Counted(const std::string& s) {
  std::string out;
  out += static_cast<char>(s.size() & 0xFF);
  out += static_cast<char>((s.size() >> 8) & 0xFF);
  return out + s;
}

}  // namespace orv::lists_testing
