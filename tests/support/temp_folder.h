// Private temporary folders for hermetic tests; removed with everything inside on destruction.
#pragma once

#include <filesystem>
#include <string>

namespace orvtest {

class TempFolder {
 public:
  explicit TempFolder(const std::string& tag = "orvtest");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Path of the folder as text, ending with "/".
  std::string Dir() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

std::string ReadWholeFile(const std::filesystem::path& p);
void WriteWholeFile(const std::filesystem::path& p, const std::string& bytes);

}  // namespace orvtest
