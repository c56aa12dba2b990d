#pragma once
// Searching the loaded part of the site tree, step by step: the window runs Step()
// from its event loop (five candidates a step), so it stays responsive and a stop
// request or the interrupt flag ends the search between two steps with what was found.
// The search keeps the results list and the previous results (taken at every start),
// which Back brings back.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "main/collection/search_criteria.h"

namespace orv {

// Site tree images of the nodes a search considers: files (complete or not) lie
// strictly between the folder images and the root's.
inline bool IsSearchedImage(int image) { return image > 2 && image < 45; }

struct SearchEntry {
  std::string key;   // the tree node's key: the full local path
  std::string text;  // the tree node's shown name
  int image = 0;
  bool operator==(const SearchEntry&) const = default;
};

// A node as the search reads it; the views stay valid until the tree changes.
struct SearchNode {
  std::string_view key;
  std::string_view text;
  int image = 0;
};

// What a search walks: the nodes of the site tree read from disk so far, in tree order.
// Sites never opened contribute only their own node.
class SearchableTree {
 public:
  virtual ~SearchableTree() = default;
  // Called as a search starts over the whole tree.
  virtual void BeginPass() {}
  virtual std::size_t NodeCount() const = 0;
  virtual SearchNode NodeAt(std::size_t index) const = 0;
  // The interrupt flag (the browser's "Refresh"): ends a running search like a stop request.
  // A search clears it as it starts, so a flag left over from an earlier refresh cannot end
  // the new search before it has looked at anything.
  virtual bool Interrupted() const { return false; }
  virtual void ClearInterrupt() {}
};

class CollectionSearch {
 public:
  static constexpr std::size_t kCandidatesPerStep = 5;

  explicit CollectionSearch(SearchableTree& tree) : tree_(tree) {}

  // Starts a search: the results are copied to the previous results first. Within the
  // found results only current results are candidates and the ones that fail are removed;
  // otherwise the results list is cleared and every loaded tree node is a candidate.
  // False (nothing changes) while a search runs.
  bool Start(const SearchCriteria& criteria, bool withinFound);
  // Looks at up to `candidates` candidates. False once the search has ended (all looked
  // at, or a stop was requested).
  bool Step(std::size_t candidates = kCandidatesPerStep);
  // The user's stop request and the interrupt flag: the next step ends the search,
  // keeping what was found.
  void RequestStop() { stopRequested_ = true; }
  bool Running() const { return running_; }

  // Back: the previous results replace the results, and the previous results are emptied.
  // False while a search runs or when there is nothing to go back to.
  bool Back();
  // Forgets both lists (another collection root was chosen).
  void Clear();

  const std::vector<SearchEntry>& Results() const { return results_; }
  const std::vector<SearchEntry>& PreviousResults() const { return previous_; }
  bool CanSearchWithinFound() const { return !running_ && !results_.empty(); }
  bool CanGoBack() const { return !running_ && !previous_.empty(); }

  std::size_t FilesLookedAt() const { return looked_; }
  std::size_t Found() const { return found_; }
  // The status line while searching by address: files looked at "/" files found.
  std::string ProgressText() const;
  SearchKind Kind() const { return criteria_.kind; }

 private:
  bool Matches(std::string_view key) const;
  void Finish();

  SearchableTree& tree_;
  SearchCriteria criteria_;
  std::string loweredText_;
  bool withinFound_ = false;
  bool running_ = false;
  bool stopRequested_ = false;
  std::size_t next_ = 0;
  std::size_t looked_ = 0;
  std::size_t found_ = 0;
  std::vector<SearchEntry> results_;
  std::vector<SearchEntry> previous_;
  std::vector<std::size_t> failed_;  // within the found results: indexes to remove at the end
};

}  // namespace orv
