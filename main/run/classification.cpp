#include "main/run/classification.h"

#include "common/address_scheme.h"
#include "common/address_text.h"
#include "common/address_markers.h"
#include "common/text.h"
#include "main/lists/fragment_lists.h"
#include "main/scripts/messages.h"

namespace orv {

namespace {

constexpr std::string_view kFrameMark = kFrameMarker;
constexpr std::string_view kEmbedMark = kEmbeddedMarker;
constexpr std::string_view kEmbedMarkShort = kEmbeddedMarkerShort;

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool StartsWith(std::string_view text, std::string_view head) {
  return text.substr(0, head.size()) == head;
}

bool Contains(std::string_view text, std::string_view needle) {
  return text.find(needle) != std::string_view::npos;
}

std::string_view LastSix(std::string_view address) {
  return address.size() > 6 ? address.substr(address.size() - 6) : address;
}

// The console's markers: an embedded link, or (with frames on) a link found in a frame.
bool HasMarker(std::string_view address, const CategoryRules& rules) {
  return Contains(address, kEmbedMarkShort) ||
         (rules.frames && address.size() > 7 && address.find(kFrameMark, 7) != std::string_view::npos);
}

// Dynamic or folder-like addresses: the classification steps that need no extension list.
// Returns 0 when none applies.
int FixedCategory(std::string_view address, std::string_view ext, bool withPerlAndWbp) {
  if (EndsWith(address, "/")) return kHypertext;
  if (Contains(address, "?") || !Contains(LastSix(address), ".")) return kOther;
  if (Contains(ext, "ht") || (withPerlAndWbp && Contains(ext, ".pl")) || StartsWith(ext, ".cgi") ||
      StartsWith(ext, ".asp") || StartsWith(ext, ".cfm") || StartsWith(ext, ".css") ||
      StartsWith(ext, ".php") || (withPerlAndWbp && StartsWith(ext, ".wbp"))) {
    return kHypertext;
  }
  if (StartsWith(ext, ".js") || StartsWith(ext, ".vbs")) return kApplets;
  return 0;
}

int ListedCategory(std::string_view ext, const CategoryRules& rules, bool enabledOnly) {
  for (int c = kImages; c <= kBinaries; ++c) {
    const CategoryRecord& r = rules.Of(c);
    if (enabledOnly && !r.enabled) continue;
    if (Contains(r.extend, ext)) return c;
  }
  return 0;
}

}  // namespace

CategoryRules CategoryRules::From(const ScriptParameters& parameters) {
  CategoryRules rules;
  for (int c = 1; c <= kCategoryCount; ++c) rules.Of(c) = parameters.Category(c);
  rules.frames = parameters.Switch("p_frames");
  rules.analog = parameters.Switch("p_analog");
  return rules;
}

std::string WrongAddressMessage() { return Ru("Введен ошибочный адрес"); }

bool ValidateStartAddress(std::string& boxText, bool lanOrLocalhostOnline, MessageBoxes& messages,
                          std::string& pendingStartAddress, std::string& currentStartAddress) {
  boxText = Trim(boxText);
  if (boxText.empty()) return false;
  std::string probe = boxText;
  const std::string host = HostOf(probe, lanOrLocalhostOnline);
  if (!host.empty()) {
    const std::size_t scheme = SchemeLength(boxText);
    if (boxText.size() <= scheme || boxText.find('/', scheme) == std::string::npos) boxText += '/';
    if (!Contains(boxText, "%25") && !Contains(boxText, "?") && !EndsWith(boxText, "/") &&
        !EndsWith(boxText, "\\") && !Contains(LastSix(boxText), ".")) {
      boxText += '/';
    }
    if (("http://" + host + "/").size() > 9) {
      pendingStartAddress = boxText;
      return true;
    }
  }
  messages.ShowMessage(WrongAddressMessage(), MessageIcon::Information);
  currentStartAddress.clear();
  return false;
}

std::string ExtensionOf(std::string_view address) {
  const std::string six = LowerCase(LastSix(address));
  const std::size_t dot = six.find('.');
  return dot == std::string::npos ? std::string(".htm") : six.substr(dot);
}

int CategoryOf(std::string_view address, const CategoryRules& rules) {
  if (HasMarker(address, rules)) return kOther;
  const std::string ext = ExtensionOf(address);
  if (const int fixed = FixedCategory(address, ext, true)) return fixed;
  if (const int listed = ListedCategory(ext, rules, false)) return listed;
  return kOther;
}

int IconCategoryOf(std::string_view address, const CategoryRules& rules) {
  const std::string ext = ExtensionOf(address);
  if (const int fixed = FixedCategory(address, ext, false)) return fixed;
  if (const int listed = ListedCategory(ext, rules, false)) return listed;
  return kOther;
}

bool Admit(std::string_view address, const CategoryRules& rules,
           const std::vector<std::string>& activeExclusions,
           const std::vector<std::string>& activeTracks, ScopeTable& scope, int& currentCategory) {
  currentCategory = kOther;
  if (MatchesExclusion(address, activeExclusions)) return false;
  if (!PassesTracks(address, activeTracks, scope.AlternateBases())) return false;

  if (!HasMarker(address, rules)) {
    const std::string ext = ExtensionOf(address);
    if (const int fixed = FixedCategory(address, ext, true)) {
      currentCategory = fixed;
      if (!rules.Of(kHypertext).enabled) return false;
    } else if (const int listed = ListedCategory(ext, rules, true)) {
      currentCategory = listed;
    } else {
      if (!rules.Of(kOther).enabled) return false;
      // An ending listed under a category that is switched off belongs to that category and is
      // not fetched as "other". An ending listed under an enabled category that did not take
      // it (hypertext is recognised by fixed endings only) is fetched as "other" instead of
      // being refused.
      for (int c = kHypertext; c <= kOther; ++c) {
        const CategoryRecord& r = rules.Of(c);
        if (!r.enabled && Contains(r.extend, ext)) return false;
      }
    }
  }

  const CategoryRecord& limits = rules.Of(currentCategory);
  std::int32_t& admitted = scope.Current().counters.at(static_cast<std::size_t>(currentCategory));
  if (limits.countLimit && admitted > limits.counter) return false;
  ++admitted;
  return true;
}

bool InScope(std::string_view address, int currentCategory, const CategoryRules& rules,
             ScopeTable& scope) {
  const std::string text = Trim(address);
  if (EndsWith(text, kFrameMark) || EndsWith(text, kEmbedMark)) return true;

  const std::vector<ScopeRecord>& records = scope.Records();
  int found = static_cast<int>(records.size()) - 1;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (StartsWithAnySchemeNoCase(text, records[i].siteBase)) {
      found = static_cast<int>(i);
      break;
    }
  }
  scope.SetIndex(found);
  const ScopeRecord& record = scope.Current();

  const int category = currentCategory >= 1 && currentCategory <= kCategoryCount ? currentCategory : kOther;
  const std::string& zone = rules.Of(category).zone;
  if (zone == ZoneNet()) return true;
  // The two schemes of a site are one site: "https://S/x" lies in "http://S/" and back.
  if (zone == ZoneSite()) {
    if (ContainsAnySchemeNoCase(text, record.siteBase)) return true;
    return rules.analog && Contains(text, record.alternateBase);
  }
  if (zone == ZoneFolder()) return ContainsAnySchemeNoCase(text, record.folderBase);
  return false;
}

}  // namespace orv
