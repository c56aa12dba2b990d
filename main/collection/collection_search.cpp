#include "main/collection/collection_search.h"

#include <algorithm>

#include "common/text.h"
#include "main/collection/node_kinds.h"
#include "platform/file_attributes.h"

namespace orv {
namespace {

bool IsDotName(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

std::string NameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CollectionSearch::CollectionSearch(SearchInterrupt& interrupt) : interrupt_(interrupt) {}

CollectionSearch::~CollectionSearch() { CloseFolder(); }

bool CollectionSearch::Start(const SearchCriteria& criteria, bool withinFound, const SearchScope& scope) {
  if (running_) return false;
  criteria_ = criteria;
  if (criteria_.kind == SearchKind::Date && criteria_.dateFrom > criteria_.dateTo) {
    std::swap(criteria_.dateFrom, criteria_.dateTo);
  }
  loweredText_ = LowerCase(criteria_.text);
  scope_ = scope;
  withinFound_ = withinFound;
  previous_ = results_;
  CloseFolder();
  folders_.clear();
  topFilePending_ = false;
  if (!withinFound_) {
    results_.clear();
    if (!scope_.top.empty() && scope_.top.back() == '/') {
      folders_.push_back(scope_.top);
    } else {
      topFilePending_ = !scope_.top.empty();
    }
  }
  scanning_.reset();
  failed_.clear();
  next_ = looked_ = found_ = 0;
  stopRequested_ = false;
  interrupt_.Clear();
  running_ = true;
  return true;
}

std::optional<CollectionSearch::Candidate> CollectionSearch::NextCandidate(std::size_t& units) {
  if (withinFound_) {
    if (next_ >= results_.size()) return std::nullopt;
    --units;
    const SearchEntry& e = results_[next_];
    return Candidate{e.key, NameOf(e.key)};
  }
  if (topFilePending_) {
    topFilePending_ = false;
    --units;
    return Candidate{scope_.top, NameOf(scope_.top)};
  }
  while (units > 0) {
    if (dir_ == nullptr) {
      if (folders_.empty()) return std::nullopt;
      dirPath_ = std::move(folders_.front());
      folders_.pop_front();
      dir_ = opendir(dirPath_.c_str());  // an unreadable folder is skipped
      --units;
      continue;
    }
    dirent* e = readdir(dir_);
    if (e == nullptr) {
      CloseFolder();
      continue;
    }
    if (IsDotName(e->d_name)) continue;
    --units;
    std::string path = dirPath_ + e->d_name;
    // Symbolic links are files and never followed, as in the tree, except the collection
    // root's, which the tree shows as sites.
    bool atRoot = dirPath_ == scope_.root;
    bool folder = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN || (atRoot && e->d_type == DT_LNK)) {
      int attrs = GetFileAttributes(path);
      folder = attrs >= 0 && (attrs & kAttrDirectory) != 0;
    }
    if (folder) {
      folders_.push_back(path + "/");
      continue;
    }
    if (atRoot) continue;  // the collection's own files
    return Candidate{std::move(path), e->d_name};
  }
  return std::nullopt;
}

std::optional<bool> CollectionSearch::Judge(const Candidate& c) {
  // By address the path is tested before the file is looked at: most candidates fail
  // without touching the disk, and the outcome is the same.
  if (criteria_.kind == SearchKind::Address && !PathContainsText(c.path, loweredText_)) return false;
  auto facts = ReadFileFacts(c.path);
  if (!facts || facts->length < 1) return false;
  switch (criteria_.kind) {
    case SearchKind::Address:
      return true;
    case SearchKind::Size:
      return SizeMatches(facts->length, criteria_.sizeFrom, criteria_.sizeTo);
    case SearchKind::Date:
      return DateMatches(facts->day, criteria_.dateFrom, criteria_.dateTo);
    case SearchKind::Text:
      break;
  }
  file_.clear();
  file_.open(c.path, std::ios::binary);
  if (!file_) return false;
  if (piece_.empty()) piece_.resize(kTextSearchPiece);
  matcher_ = std::make_unique<PageTextMatcher>(criteria_.text);
  scanning_ = c;
  return std::nullopt;
}

bool CollectionSearch::ScanTextPiece() {
  file_.read(piece_.data(), static_cast<std::streamsize>(piece_.size()));
  auto got = static_cast<std::size_t>(file_.gcount());
  bool found = got > 0 && matcher_->Feed(std::string_view(piece_.data(), got));
  if (!found && got == piece_.size() && file_) return true;
  bool match = found || matcher_->Finish();
  file_.close();
  matcher_.reset();
  Candidate c = std::move(*scanning_);
  scanning_.reset();
  Conclude(c, match);
  return false;
}

void CollectionSearch::Conclude(const Candidate& c, bool match) {
  if (match) ++found_;
  if (withinFound_) {
    if (!match) failed_.push_back(next_);
    ++next_;
    return;
  }
  if (!match) return;
  bool partial = (GetFileAttributes(c.path) & kAttrSystem) != 0;
  results_.push_back({c.path, collection::ShownName(c.name), collection::FileImage(c.name, partial)});
}

bool CollectionSearch::Step(std::size_t units) {
  if (!running_) return false;
  while (true) {
    if (stopRequested_ || interrupt_.Interrupted()) break;
    if (units == 0) return true;
    if (scanning_) {
      --units;
      ScanTextPiece();
      continue;
    }
    std::optional<Candidate> c = NextCandidate(units);
    if (!c) {
      if (units == 0) return true;  // the budget ran out inside the walk
      break;                        // every candidate was looked at
    }
    ++looked_;
    std::optional<bool> verdict = Judge(*c);
    if (verdict) Conclude(*c, *verdict);
  }
  Finish();
  return false;
}

void CollectionSearch::CloseFolder() {
  if (dir_ != nullptr) closedir(dir_);
  dir_ = nullptr;
}

void CollectionSearch::Finish() {
  // Entries looked at and failed go; those a stop left unexamined stay.
  for (auto it = failed_.rbegin(); it != failed_.rend(); ++it) {
    results_.erase(results_.begin() + static_cast<std::ptrdiff_t>(*it));
  }
  failed_.clear();
  CloseFolder();
  folders_.clear();
  if (file_.is_open()) file_.close();
  matcher_.reset();
  scanning_.reset();
  running_ = false;
  stopRequested_ = false;
}

bool CollectionSearch::Back() {
  if (running_ || previous_.empty()) return false;
  results_ = std::move(previous_);
  previous_.clear();
  return true;
}

void CollectionSearch::Clear() {
  if (running_) Finish();
  results_.clear();
  previous_.clear();
}

std::string CollectionSearch::ProgressText() const {
  return std::to_string(looked_) + "/" + std::to_string(found_);
}

}  // namespace orv
