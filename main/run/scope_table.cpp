#include "main/run/scope_table.h"

#include "common/address_scheme.h"
#include "common/address_text.h"
#include "common/text.h"

namespace orv {

namespace {

std::string HostCopy(std::string_view address, bool lanOrLocalhostOnline) {
  std::string text(address);
  return HostOf(text, lanOrLocalhostOnline);
}

std::string UpToLastSlash(std::string_view address) {
  const std::size_t slash = address.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(address.substr(0, slash + 1));
}

}  // namespace

void ScopeTable::Reset() {
  records_.assign(1, ScopeRecord{});
  index_ = 0;
}

void ScopeTable::ResetCounters() { records_.at(0).counters.fill(0); }

void ScopeTable::RebuildFromStart(std::string_view startAddress, bool lanOrLocalhostOnline) {
  if (records_.empty()) records_.emplace_back();
  records_.resize(1);
  ScopeRecord& r = records_[0];
  const std::string host = HostCopy(startAddress, lanOrLocalhostOnline);
  if (r.siteBase.empty()) r.siteBase = "http://" + host + "/";
  r.folderBase = FolderOf(Trim(startAddress));
  r.alternateBase = AlternateBaseOf(host);
  index_ = 0;
}

void ScopeTable::RebaseOnNode(std::string_view address, bool lanOrLocalhostOnline) {
  if (records_.empty()) records_.emplace_back();
  ScopeRecord& r = records_[0];
  const std::string host = HostCopy(address, lanOrLocalhostOnline);
  r.siteBase = "http://" + host + "/";
  r.folderBase = UpToLastSlash(Trim(address));
  r.alternateBase = AlternateBaseOf(host);
}

void ScopeTable::RebaseOnRedirect(std::string_view redirectHost, std::string_view redirectFolder) {
  if (records_.empty()) records_.emplace_back();
  ScopeRecord& r = records_[0];
  std::string site(redirectHost);
  if (!HasWebScheme(site)) site = std::string(kHttpScheme) + site;
  if (site.back() != '/') site += '/';
  r.siteBase = std::move(site);
  r.folderBase = std::string(redirectFolder);
}

void ScopeTable::AddRecord(std::string_view address, bool lanOrLocalhostOnline) {
  ScopeRecord r;
  const std::string text = Trim(address);
  const std::string host = HostCopy(text, lanOrLocalhostOnline);
  r.siteBase = "http://" + host + "/";
  r.folderBase = UpToLastSlash(text);
  if (r.folderBase.size() < 10) r.folderBase = r.siteBase;
  r.alternateBase = AlternateBaseOf(host);
  records_.push_back(std::move(r));
}

std::vector<std::string> ScopeTable::AlternateBases() const {
  std::vector<std::string> bases;
  bases.reserve(records_.size());
  for (const ScopeRecord& r : records_) bases.push_back(r.alternateBase);
  return bases;
}

void ScopeTable::SetIndex(int index) {
  index_ = (index >= 0 && static_cast<std::size_t>(index) < records_.size()) ? index : 0;
}

ScopeRecord& ScopeTable::Current() {
  if (index_ < 0 || static_cast<std::size_t>(index_) >= records_.size()) index_ = 0;
  return records_.at(static_cast<std::size_t>(index_));
}

}  // namespace orv
