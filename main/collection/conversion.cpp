#include "main/collection/conversion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

#include "common/text.h"
#include "main/collection/folder_choice.h"

namespace orv::collection {

namespace {

constexpr std::string_view kMarker = ",8,,x2";
constexpr std::size_t kMarkerLength = 6;
constexpr int kCutAfterMarker = 2;  // the two hexadecimal digits of the sequence
constexpr std::size_t kTakeBackStep = 4096;
constexpr std::size_t kDirectRun = 4096;

class StringOutput final : public NameEscapeRemover::Output {
 public:
  explicit StringOutput(std::string& s) : s_(s) {}
  bool Append(std::string_view bytes) override {
    s_.append(bytes);
    return true;
  }
  bool TakeBack(std::size_t n, std::string& bytes) override {
    bytes.assign(s_, s_.size() - n, n);
    s_.resize(s_.size() - n);
    return true;
  }

 private:
  std::string& s_;
};

// The target file; taking bytes back reads them again and shortens the file.
class FileOutput final : public NameEscapeRemover::Output {
 public:
  explicit FileOutput(int fd) : fd_(fd) {}
  bool Append(std::string_view bytes) override {
    while (!bytes.empty()) {
      ssize_t w = ::write(fd_, bytes.data(), bytes.size());
      if (w < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(w));
      size_ += static_cast<off_t>(w);
    }
    return true;
  }
  bool TakeBack(std::size_t n, std::string& bytes) override {
    off_t from = size_ - static_cast<off_t>(n);
    bytes.resize(n);
    std::size_t got = 0;
    while (got < n) {
      ssize_t r = ::pread(fd_, bytes.data() + got, n - got, from + static_cast<off_t>(got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      got += static_cast<std::size_t>(r);
    }
    if (::ftruncate(fd_, from) != 0 || ::lseek(fd_, from, SEEK_SET) != from) return false;
    size_ = from;
    return true;
  }

 private:
  int fd_;
  off_t size_ = 0;
};

bool IsDotsOrEmpty(std::string_view part) { return part.empty() || part == "." || part == ".."; }

}  // namespace

bool NameEscapeRemover::Feed(std::string_view piece) {
  const char* data = piece.data();
  std::size_t n = piece.size(), i = 0;
  while (i < n) {
    if (skip_ > 0) {
      std::size_t s = std::min<std::size_t>(static_cast<std::size_t>(skip_), n - i);
      i += s;
      skip_ -= static_cast<int>(s);
      continue;
    }
    // A sequence can only be completed by the "2" of its marker, and the held bytes never
    // hold a whole marker, so the test is needed only after each "2".
    const void* two = std::memchr(data + i, '2', n - i);
    std::size_t end = two ? static_cast<std::size_t>(static_cast<const char*>(two) - data) + 1 : n;
    if (end - i > kDirectRun) {
      // A long run goes to the output straight from the piece; only its tail is held.
      if (!Flush(0) || !out_.Append(std::string_view(data + i, end - i - (kMarkerLength - 1)))) failed_ = true;
      handedOut_ += end - i - (kMarkerLength - 1);
      i = end - (kMarkerLength - 1);
    }
    held_.append(data + i, end - i);
    i = end;
    if (two && EndsWithMarker()) {
      held_.resize(held_.size() - kMarkerLength);
      skip_ = kCutAfterMarker;
      removed_ = true;
    }
  }
  // A cut reaches back at most five bytes behind the newest byte, unless cuts chain; keep a
  // tail so the common case never reads the output back.
  if (held_.size() > holdLimit_ && !Flush(kMarkerLength - 1)) failed_ = true;
  return !failed_;
}

bool NameEscapeRemover::Finish() {
  skip_ = 0;
  return Flush(0) && !failed_;
}

bool NameEscapeRemover::EndsWithMarker() {
  if (held_.size() < kMarkerLength && handedOut_ > 0) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(handedOut_, kTakeBackStep));
    std::string back;
    if (!out_.TakeBack(n, back)) {
      failed_ = true;
      return false;
    }
    handedOut_ -= n;
    held_.insert(0, back);
  }
  return held_.size() >= kMarkerLength &&
         held_.compare(held_.size() - kMarkerLength, kMarkerLength, kMarker) == 0;
}

bool NameEscapeRemover::Flush(std::size_t keep) {
  if (held_.size() <= keep) return true;
  std::size_t n = held_.size() - keep;
  if (!out_.Append(std::string_view(held_).substr(0, n))) return false;
  handedOut_ += n;
  held_.erase(0, n);
  return true;
}

std::string RemoveNameEscapes(std::string_view text) {
  if (text.find(kMarker) == std::string_view::npos) return std::string(text);
  std::string result;
  StringOutput out(result);
  NameEscapeRemover remover(out, std::numeric_limits<std::size_t>::max());
  remover.Feed(text);
  remover.Finish();
  return result;
}

std::string ConvertedRelativePath(std::string_view relativePath) {
  std::string result;
  std::size_t start = 0;
  while (true) {
    std::size_t slash = relativePath.find('/', start);
    std::string_view part = relativePath.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    std::string converted = RemoveNameEscapes(part);
    // A name made of escapes alone must not vanish or climb out of its folder.
    result += IsDotsOrEmpty(converted) && !part.empty() ? std::string(part) : converted;
    if (slash == std::string_view::npos) break;
    result += '/';
    start = slash + 1;
  }
  return result;
}

std::string NumberedName(std::string_view relativePath, int number) {
  std::size_t slash = relativePath.rfind('/');
  std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  std::size_t dot = relativePath.rfind('.');
  std::size_t at = dot != std::string_view::npos && dot > nameStart ? dot : relativePath.size();
  std::string s(relativePath.substr(0, at));
  s += "(" + std::to_string(number) + ")";
  s += relativePath.substr(at);
  return s;
}

bool CopyWithoutNameEscapes(const std::string& source, const std::string& target, std::size_t pieceSize) {
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  int outFd = ::open(target.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (outFd < 0) {
    ::close(in);
    return false;
  }
  FileOutput out(outFd);
  NameEscapeRemover remover(out, pieceSize);
  // Never larger than the file, and not cleared: most collection files are small.
  struct stat st{};
  std::size_t size = std::max<std::size_t>(pieceSize, 1);
  if (::fstat(in, &st) == 0 && st.st_size >= 0) size = std::min<std::size_t>(size, static_cast<std::size_t>(st.st_size) + 1);
  std::unique_ptr<char[]> buffer(new char[size]);
  bool ok = true;
  while (ok) {
    ssize_t r = ::read(in, buffer.get(), size);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) ok = false;
    if (r <= 0) break;
    ok = remover.Feed(std::string_view(buffer.get(), static_cast<std::size_t>(r)));
  }
  ok = ok && remover.Finish();
  ::close(in);
  ok = ::close(outFd) == 0 && ok;
  if (!ok) ::unlink(target.c_str());
  return ok;
}

CollectionConversion::CollectionConversion(std::string collectionRoot, std::string targetFolder,
                                           std::vector<std::string> files)
    : root_(std::move(collectionRoot)), target_(std::move(targetFolder)), files_(std::move(files)) {}

bool CollectionConversion::Step(std::size_t maxFiles) {
  for (std::size_t k = 0; k < maxFiles && next_ < files_.size(); ++k) ConvertOne(files_[next_++]);
  return !Done();
}

void CollectionConversion::ConvertOne(const std::string& source) {
  struct stat st{};
  if (source.size() <= root_.size() || source.compare(0, root_.size(), root_) != 0 ||
      ::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
    ++skipped_;
    return;
  }
  const std::string wanted = ConvertedRelativePath(std::string_view(source).substr(root_.size()));
  std::string name = PlaceFolders(wanted);
  // Taken: written by this run, or anything else stands there (never replaced).
  auto taken = [this](const std::string& n) {
    struct stat t{};
    return written_.count(n) > 0 || ::lstat((target_ + n).c_str(), &t) == 0;
  };
  if (!name.empty() && taken(name)) {
    int number = 2;
    while (taken(NumberedName(name, number))) ++number;
    name = NumberedName(name, number);
  }
  if (name.empty() || !CopyWithoutNameEscapes(source, target_ + name)) {
    ++skipped_;
    return;
  }
  if (name != wanted) renamed_.push_back(name);
  written_.insert(name);
  ++copied_;
  bytesRead_ += static_cast<std::uint64_t>(st.st_size);
}

std::string CollectionConversion::PlaceFolders(std::string name) const {
  for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
    const std::string folder = name.substr(0, slash);
    std::string placed = folder;
    for (int number = 2;; ++number) {
      const std::string path = target_ + placed;
      struct stat st{};
      if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) break;  // a folder: used as it is
      } else if (::mkdir(path.c_str(), 0755) == 0) {
        break;
      } else if (errno != EEXIST) {
        return {};
      }
      placed = NumberedName(folder, number);  // something else stands there: never removed
    }
    if (placed != folder) {
      name = placed + name.substr(slash);
      slash = placed.size();
    }
  }
  return name;
}

ConversionPlace PlaceConversion(const std::string& collectionRoot, const std::string& chosen) {
  namespace fs = std::filesystem;
  std::error_code ec;
  auto resolved = [&ec](const std::string& path) {
    std::string s = fs::weakly_canonical(fs::path(path), ec).string();
    return WithTrailingSlash(s);
  };
  const std::string root = resolved(collectionRoot);
  const std::string target = resolved(chosen);
  if (target == root) return {ConversionPlace::Kind::CollectionRoot, chosen};
  if (target.compare(0, root.size(), root) == 0) return {ConversionPlace::Kind::InsideCollection, chosen};
  const std::string folder = WithTrailingSlash(chosen);
  if (fs::is_directory(folder, ec) && fs::is_empty(folder, ec) && !ec) return {ConversionPlace::Kind::Chosen, folder};
  std::string made = folder + kConvertedFolderName;
  for (int number = 2; ::mkdir(made.c_str(), 0755) != 0; ++number) {
    if (errno != EEXIST || number > 10000) return {ConversionPlace::Kind::CannotCreate, made + "/"};
    made = folder + kConvertedFolderName + "-" + std::to_string(number);
  }
  return {ConversionPlace::Kind::NewFolder, made + "/"};
}

std::string CollectionConversion::RenamedStatus() const {
  if (renamed_.empty()) return {};
  return "Совпавшие после преобразования имена: " + std::to_string(renamed_.size()) +
         " файл(ов) сохранено под номером, первый: " + DisplayName(renamed_.front());
}

}  // namespace orv::collection
