#include "main/collection/text_editor.h"

#include <sstream>

namespace orv::collection {

namespace {

// Words of a command line; double quotes group, a backslash escapes the next character.
std::vector<std::string> SplitCommand(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
      inWord = true;
    } else if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

}  // namespace

std::string DesktopEntryExec(const std::string& desktopFileText) {
  std::istringstream in(desktopFileText);
  std::string line;
  bool inEntry = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    if (inEntry && line.rfind("Exec=", 0) == 0) return line.substr(5);
  }
  return {};
}

std::vector<std::string> EditorCommand(const std::string& visual, const std::string& editor,
                                       const std::string& desktopExec, const std::string& file) {
  for (const std::string* user : {&visual, &editor}) {
    std::vector<std::string> words = SplitCommand(*user);
    if (words.empty()) continue;
    words.push_back(file);
    return words;
  }
  std::vector<std::string> words;
  bool placed = false;
  for (const std::string& w : SplitCommand(desktopExec)) {
    if (w == "%f" || w == "%F" || w == "%u" || w == "%U") {
      if (!placed) words.push_back(file);
      placed = true;
    } else if (w.size() == 2 && w[0] == '%') {
      if (w[1] == '%') words.push_back("%");  // a literal percent sign; other codes go
    } else {
      words.push_back(w);
    }
  }
  if (words.empty()) return {"xdg-open", file};
  if (!placed) words.push_back(file);
  return words;
}

}  // namespace orv::collection
