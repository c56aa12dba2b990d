#pragma once
// Searching the collection, step by step: the window runs Step() from its event loop, so
// it stays responsive, results appear as they are found, and a stop request or the
// interrupt flag ends the search between two steps with what was found. The search reads
// the chosen subtree from disk as it goes (whether or not the tree has opened it): one
// directory entry or one piece of a file's text per unit of work, the folders still to read
// in a queue, one file open at a time. It keeps the results list and the previous results
// (taken at every start), which Back brings back.

#include <dirent.h>

#include <cstddef>
#include <deque>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "main/collection/search_criteria.h"

namespace orv {

struct SearchEntry {
  std::string key;   // the file's full local path (the tree node's key)
  std::string text;  // the name the tree shows for it
  int image = 0;     // the file's kind image, partial or not
  bool operator==(const SearchEntry&) const = default;
};

// What a search covers: the chosen node's path (the collection root, a site or a folder,
// ending with "/", or one file). Below the collection root only its folders (the sites) are
// searched, not its own files (scripts, bookmarks, help project).
struct SearchScope {
  std::string root;
  std::string top;
};

// The interrupt flag (the browser's "Refresh"): ends a running search like a stop request.
// A search clears it as it starts, so a flag left over from an earlier refresh cannot end
// the new search before it has looked at anything.
class SearchInterrupt {
 public:
  virtual ~SearchInterrupt() = default;
  virtual bool Interrupted() const = 0;
  virtual void Clear() = 0;
};

class CollectionSearch {
 public:
  // Directory entries or text pieces per step.
  static constexpr std::size_t kUnitsPerStep = 20;

  explicit CollectionSearch(SearchInterrupt& interrupt);
  ~CollectionSearch();
  CollectionSearch(const CollectionSearch&) = delete;
  CollectionSearch& operator=(const CollectionSearch&) = delete;

  // Starts a search: the results are copied to the previous results first. Within the
  // found results only current results are candidates and the ones that fail are removed;
  // otherwise the results list is cleared and every file of the scope is a candidate.
  // False (nothing changes) while a search runs.
  bool Start(const SearchCriteria& criteria, bool withinFound, const SearchScope& scope);
  // Does up to `units` units of work. False once the search has ended (all looked at, or a
  // stop was requested).
  bool Step(std::size_t units = kUnitsPerStep);
  // The user's stop request: the next step ends the search, keeping what was found.
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
  struct Candidate {
    std::string path;
    std::string name;  // the on-disk name
  };
  std::optional<Candidate> NextCandidate(std::size_t& units);
  // Decides at once, or opens the file for a text scan (nullopt: undecided yet).
  std::optional<bool> Judge(const Candidate& c);
  bool ScanTextPiece();  // false once the scan has ended
  void Conclude(const Candidate& c, bool match);
  void CloseFolder();
  void Finish();

  SearchInterrupt& interrupt_;
  SearchCriteria criteria_;
  std::string loweredText_;
  SearchScope scope_;
  bool withinFound_ = false;
  bool running_ = false;
  bool stopRequested_ = false;
  std::size_t next_ = 0;  // within the found results: the next result to look at
  std::size_t looked_ = 0;
  std::size_t found_ = 0;
  std::vector<SearchEntry> results_;
  std::vector<SearchEntry> previous_;
  std::vector<std::size_t> failed_;  // within the found results: indexes to remove at the end

  // The walk through the scope: folders still to read, the one being read.
  std::deque<std::string> folders_;
  DIR* dir_ = nullptr;
  std::string dirPath_;
  bool topFilePending_ = false;  // the scope is one file, not looked at yet

  // The text scan of one file.
  std::optional<Candidate> scanning_;
  std::ifstream file_;
  std::vector<char> piece_;
  std::unique_ptr<PageTextMatcher> matcher_;
};

}  // namespace orv
