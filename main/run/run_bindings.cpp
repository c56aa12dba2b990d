#include "main/run/run_bindings.h"

#include "common/address_text.h"
#include "common/config_keys.h"
#include "common/numbers.h"
#include "main/lists/fragment_lists.h"
#include "main/lists/proxy_list.h"
#include "main/lists/user_agents.h"
#include "main/scripts/program_config.h"

namespace orv {

ModelRunBinding::ModelRunBinding(ProgramModel& program, ExclusionList& exclusions, TrackList& tracks,
                                 ProxyList& proxies, UserAgentPresets& userAgents,
                                 ConnectionControl& connection, MessageBoxes& messages)
    : program_(program),
      exclusions_(exclusions),
      tracks_(tracks),
      proxies_(proxies),
      userAgents_(userAgents),
      connection_(connection),
      messages_(messages) {
  RefreshRules();
}

bool ModelRunBinding::LanOrLocalhostOnline() const {
  return connection_.Online() && connection_.Mode() != ConnectionMode::Modem;
}

void ModelRunBinding::RefreshRules() { rules_ = CategoryRules::From(program_.Parameters()); }

bool ModelRunBinding::SelectAndLoad(const std::string& startAddress, RunOptions& o) {
  ScriptParameters& p = program_.Parameters();
  ScriptModel& m = program_.Scripts();
  for (int list = kSwitches; list <= kEndActions; ++list) p.ApplyList(list);
  RefreshRules();
  m.lanOrLocalhostOnline = LanOrLocalhostOnline();
  o.chosenWithoutMatch = false;
  if (p.AutoScript()) {
    slot_ = m.AutoSelect(startAddress);
    o.chosenWithoutMatch = m.autoSelectedByEmptiness;
  } else {
    slot_ = m.currentSlot;
  }
  o.scriptNumber = slot_;
  o.mode = p.ScriptMode();
  m.scriptMode = o.mode;
  o.analog = p.Switch("p_analog");
  o.frames = p.Switch("p_frames");
  o.refresh = p.Switch("p_refresh");
  o.proxy = p.Switch("p_Proxy");
  o.proxyAlternate = p.Switch("p_proxy2");
  o.sounds = p.Switch("p_sounds");
  o.media = p.Switch("p_media");
  o.autoDial = p.Switch("p_dial");
  o.slideStop = p.Switch("p_SlideStop");
  o.dialRetrySeconds = p.Value(kConnection, kDialRetrySecondsRowKey);
  o.dialWaitSeconds = p.Value(kConnection, kDialWaitSecondsRowKey);
  o.dialRotate = p.Row(kConnection, kDialRotateRowKey).value == OnOffText(true);
  o.channels = p.Value(kTransfer, kChannelCountRowKey);
  o.depthOn = p.Switch(kDepthLimitRowKey);
  o.depthLimit = p.Value(kLimits, kDepthLimitRowKey);
  o.addressLimitOn = p.Switch(kAddressLimitRowKey);
  o.addressLimit = p.Value(kLimits, kAddressLimitRowKey);
  o.volumeOn = p.Switch(kVolumeLimitRowKey);
  o.volumeLimit = p.Value(kLimits, kVolumeLimitRowKey);
  o.onlineOn = p.Switch(kOnlineLimitRowKey);
  o.onlineLimit = p.Value(kLimits, kOnlineLimitRowKey);
  o.disconnectAtEnd = p.Switch(kDisconnectAtEndRowKey);
  o.closeAtEnd = p.Switch(kCloseAtEndRowKey);
  o.deleteScriptAtEnd = p.Switch(kDeleteScriptAtEndRowKey);
  o.charsetRecord = DecimalText(program_.Values().chset);
  o.userAgent = userAgents_.RunText();
  for (int c = 1; c <= kCategoryCount; ++c) {
    const CategoryRecord& r = p.Category(c);
    RunCategory& rc = o.categories[c];
    rc.enabled = r.enabled;
    rc.extensions = r.extend;
    rc.zone = r.zone;
    rc.countLimit = r.countLimit;
    rc.countLimitValue = r.counter;
    const auto bounds = p.SizeBoundsBytes(c);
    rc.minBytes = bounds.first;
    rc.maxBytes = bounds.second;
  }
  return true;
}

void ModelRunBinding::AppendSavedAddresses(std::vector<std::string>& runList) {
  ScriptModel& m = program_.Scripts();
  m.run.Clear();
  for (std::size_t i = 1; i < runList.size(); ++i) m.run.Append(runList[i]);
  m.LoadForRun(slot_);
  runList = m.run.Texts();
}

void ModelRunBinding::MergeFoundLinks(const std::vector<std::string>& batch,
                                      std::vector<std::string>& runList) {
  ScriptModel& m = program_.Scripts();
  m.MergeFoundLinks(batch);
  for (int i = static_cast<int>(runList.size()); i <= m.run.Count(); ++i) runList.push_back(m.run.At(i));
}

bool ModelRunBinding::WriteBack(const RunResults& results) {
  ScriptModel& m = program_.Scripts();
  m.handedOut.assign(1, 0);
  if (results.handedOut) m.handedOut.insert(m.handedOut.end(), results.handedOut->begin(), results.handedOut->end());
  m.notFound.assign(1, std::string());
  if (results.notFound) m.notFound.insert(m.notFound.end(), results.notFound->begin(), results.notFound->end());
  return m.WriteBack();
}

bool ModelRunBinding::WriteBackBusy() const { return program_.Scripts().Busy(); }

void ModelRunBinding::SwitchOffAutoDial() {
  ScriptParameters& p = program_.Parameters();
  const auto& rows = p.List(kSwitches);
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].key == "p_dial" && rows[i].checked) p.ToggleOption(kSwitches, static_cast<int>(i) + 1);
}

void ModelRunBinding::ClearRun() { program_.Scripts().ClearRunLists(); }

bool ModelRunBinding::ValidateStartAddress(std::string& boxText, std::string& pending) {
  std::string current;
  return orv::ValidateStartAddress(boxText, LanOrLocalhostOnline(), messages_, pending, current);
}

void ModelRunBinding::RebuildScope(const std::string& startAddress) {
  scope_.RebuildFromStart(startAddress, LanOrLocalhostOnline());
}

bool ModelRunBinding::Admit(const std::string& address, int& category) {
  return orv::Admit(address, rules_, exclusions_.Active(), tracks_.Active(), scope_, category);
}

bool ModelRunBinding::InScope(const std::string& address, int category) {
  return orv::InScope(address, category, rules_, scope_);
}

bool ModelRunBinding::TooDeep(const std::string& address, int32_t limit) {
  return orv::TooDeep(address, limit);
}

int ModelRunBinding::CategoryOf(const std::string& address) { return orv::CategoryOf(address, rules_); }
int ModelRunBinding::IconCategoryOf(const std::string& address) {
  return orv::IconCategoryOf(address, rules_);
}

std::string ModelRunBinding::CurrentProxy() { return proxies_.ConsoleSpec(); }
void ModelRunBinding::AlternateProxy() { proxies_.Alternate(); }

}  // namespace orv
