#pragma once
// The ten User-Agent presets of the lists page: the combo `UserAgTxt` with its captions and
// the text field `TxtUserAgTxt`. Choosing a caption puts the slot's string into the field
// (and its tooltip); editing the field stores into the chosen slot, except slot 0 ("Default",
// the system browser's own string), which editing never changes. The field's text at the
// start of a run is the User-Agent the run hands to the console. Text is Windows-1251 bytes.

#include <array>
#include <string>
#include <string_view>

namespace orv {

class UserAgentPresets {
 public:
  static constexpr int kSlots = 10;

  // "Default", "MSIE", "Netscape", "Opera", "Opera(MSIE)", "Orvanta", "Yandex", "Google",
  // "Aport", "Other" for slots 0..9; empty outside.
  static const char* Caption(int slot);

  // Slot strings as read from the configuration (start-up); the selection is not changed.
  void SetSlots(const std::array<std::string, kSlots>& values) { slots_ = values; }
  const std::array<std::string, kSlots>& Slots() const { return slots_; }
  const std::string& Slot(int slot) const { return slots_.at(static_cast<std::size_t>(slot)); }

  // The user chooses a caption: the slot's string goes into the field and its tooltip. An
  // index outside 0..9 is ignored.
  void Choose(int slot);
  int Chosen() const { return chosen_; }

  // The user edits the field: the text is kept and stored into the chosen slot unless that
  // slot is 0.
  void EditText(std::string_view text);

  const std::string& Text() const { return text_; }
  const std::string& Tooltip() const { return tooltip_; }
  // The string the run hands to the console.
  const std::string& RunText() const { return text_; }

 private:
  std::array<std::string, kSlots> slots_{};
  int chosen_ = 0;
  std::string text_;
  std::string tooltip_;
};

}  // namespace orv
