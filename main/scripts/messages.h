#pragma once
// Message boxes of the main program, as the logic asks for them: the window shows a box, the
// batch front end prints the text and answers No, tests record. All text is Windows-1251.

#include <string>

namespace orv {

// Title of every message box of the main program: the product word and seven blanks.
inline constexpr const char* kMessageTitle = "Orvanta       ";

enum class MessageIcon { None, Information, Warning, Error, Question };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
  // A Yes/No question; true on Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
};

}  // namespace orv
