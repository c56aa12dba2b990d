#pragma once
// The address box InputUrl and its drop-down history (Combo2): run control reads what the
// user typed and adds started addresses; start-up fills the history and shutdown saves it.

#include <string>
#include <vector>

namespace orv {

class AddressBoxView {
 public:
  virtual ~AddressBoxView() = default;
  virtual void SetAddressText(const std::string& text) = 0;
  virtual std::string AddressText() const = 0;
  virtual void SetAddressHistory(const std::vector<std::string>& entries) = 0;
  virtual std::vector<std::string> AddressHistory() const = 0;
};

}  // namespace orv
