#pragma once
// Links that would end the session a run fetches with. A page of a site the user is logged in
// to links its logout on every page; fetching it once would log the run out and leave the rest
// of the copy to the login page. While the run has a login cookie such links are not followed,
// unless the user put the address in the script.

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace orv {

// Whether an address's path or query names a logout: a word of it (letters and digits; "-",
// "_", "/", "." and the other punctuation separate words, and so does a capital after a small
// letter, "doLogout") is "logout", "logoff", "signout", "signoff", "exit", "выход" or "выйти",
// or a "log"/"sign" + "out"/"off" pair parted only by "-", "_" or a capital ("sign-out",
// "log_out", "signOut"). Case does not matter otherwise;
// percent escapes are decoded first, and the Cyrillic words are found in UTF-8 and in
// Windows-1251 bytes alike. The host and the fragment are not looked at.
bool LooksLikeLogout(std::string_view address);

// The found links of one run that were not followed because they look like a logout.
class LogoutLinkFilter {
 public:
  // Removes the logout links from a found-links batch (element 0 the count, set anew when a
  // link goes) while the run has a login cookie, unless the run list has them already (the
  // script's own addresses). loginCookie() is asked only when a batch holds a logout link.
  template <typename InRun, typename LoginCookie>
  void Filter(std::vector<std::string>& batch, const InRun& inRun, const LoginCookie& loginCookie) {
    if (batch.size() < 2) return;
    std::vector<std::string> kept{batch[0]};
    for (std::size_t i = 1; i < batch.size(); ++i) {
      const std::string address = AddressOf(batch[i]);
      if (LooksLikeLogout(address) && !inRun(batch[i]) && loginCookie()) {
        skipped_.insert(address);
        continue;
      }
      kept.push_back(std::move(batch[i]));
    }
    if (kept.size() != batch.size()) kept[0] = std::to_string(kept.size() - 1);
    batch = std::move(kept);
  }
  // Distinct addresses skipped in this run.
  int Skipped() const { return static_cast<int>(skipped_.size()); }

 private:
  // A found link without the markers the console puts after it.
  static std::string AddressOf(const std::string& element);
  std::unordered_set<std::string> skipped_;
};

}  // namespace orv
