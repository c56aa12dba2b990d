#include "main/lists/user_agents.h"

namespace orv {

const char* UserAgentPresets::Caption(int slot) {
  static constexpr const char* kCaptions[kSlots] = {"Default", "MSIE",   "Netscape", "Opera",
                                                    "Opera(MSIE)", "Orvanta", "Yandex", "Google",
                                                    "Aport",   "Other"};
  return slot >= 0 && slot < kSlots ? kCaptions[slot] : "";
}

void UserAgentPresets::Choose(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  chosen_ = slot;
  text_ = slots_[static_cast<std::size_t>(slot)];
  tooltip_ = text_;
}

void UserAgentPresets::EditText(std::string_view text) {
  text_ = std::string(text);
  if (chosen_ != 0) slots_[static_cast<std::size_t>(chosen_)] = text_;
}

}  // namespace orv
