#include "main/collection/collection_search.h"

#include <algorithm>

#include "common/text.h"

namespace orv {

bool CollectionSearch::Start(const SearchCriteria& criteria, bool withinFound) {
  if (running_) return false;
  criteria_ = criteria;
  if (criteria_.kind == SearchKind::Date && criteria_.dateFrom > criteria_.dateTo) {
    std::swap(criteria_.dateFrom, criteria_.dateTo);
  }
  loweredText_ = LowerCase(criteria_.text);
  withinFound_ = withinFound;
  previous_ = results_;
  if (!withinFound_) {
    results_.clear();
    tree_.BeginPass();
  }
  failed_.clear();
  next_ = looked_ = found_ = 0;
  stopRequested_ = false;
  tree_.ClearInterrupt();
  running_ = true;
  return true;
}

bool CollectionSearch::Matches(std::string_view key) const {
  // The path is tested before the file is read: by address most candidates fail
  // without touching the disk, and the outcome is the same.
  if (criteria_.kind == SearchKind::Address &&
      LowerCase(key).find(loweredText_) == std::string::npos) {
    return false;
  }
  std::string path(key);
  auto facts = ReadFileFacts(path);
  if (!facts || facts->length < 1) return false;
  switch (criteria_.kind) {
    case SearchKind::Address:
      return true;
    case SearchKind::Text:
      return FileContainsText(path, criteria_.text).value_or(false);
    case SearchKind::Size:
      return SizeMatches(facts->length, criteria_.sizeFrom, criteria_.sizeTo);
    case SearchKind::Date:
      return DateMatches(facts->day, criteria_.dateFrom, criteria_.dateTo);
  }
  return false;
}

bool CollectionSearch::Step(std::size_t candidates) {
  if (!running_) return false;
  if (stopRequested_ || tree_.Interrupted()) {
    Finish();
    return false;
  }
  for (std::size_t n = 0; n < candidates; ++n) {
    if (withinFound_) {
      if (next_ >= results_.size()) break;
      const SearchEntry& e = results_[next_];
      if (IsSearchedImage(e.image)) {
        ++looked_;
        if (Matches(e.key)) {
          ++found_;
        } else {
          failed_.push_back(next_);
        }
      } else {
        failed_.push_back(next_);
      }
    } else {
      // The tree may grow (a site opened meanwhile) or shrink (a branch deleted).
      if (next_ >= tree_.NodeCount()) break;
      SearchNode node = tree_.NodeAt(next_);
      if (IsSearchedImage(node.image)) {
        ++looked_;
        if (Matches(node.key)) {
          results_.push_back({std::string(node.key), std::string(node.text), node.image});
          ++found_;
        }
      }
    }
    ++next_;
  }
  std::size_t total = withinFound_ ? results_.size() : tree_.NodeCount();
  if (next_ >= total) {
    Finish();
    return false;
  }
  return true;
}

void CollectionSearch::Finish() {
  // Entries looked at and failed go; those a stop left unexamined stay.
  for (auto it = failed_.rbegin(); it != failed_.rend(); ++it) {
    results_.erase(results_.begin() + static_cast<std::ptrdiff_t>(*it));
  }
  failed_.clear();
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
  if (running_) RequestStop();
  results_.clear();
  previous_.clear();
  failed_.clear();
  next_ = 0;
  running_ = false;
}

std::string CollectionSearch::ProgressText() const {
  return std::to_string(looked_) + "/" + std::to_string(found_);
}

}  // namespace orv
