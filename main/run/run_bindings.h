#pragma once
// Binds run control to the program's models: the script model and parameters, the
// fragment lists, the proxy list, the User-Agent presets, the classification and the
// scope table of the run.
#include <string>
#include <vector>

#include "main/run/classification.h"
#include "main/run/connection_modes.h"
#include "main/run/run_interfaces.h"
#include "main/run/scope_table.h"

namespace orv {

class ProgramModel;
class ExclusionList;
class TrackList;
class ProxyList;
class UserAgentPresets;
class MessageBoxes;

class ModelRunBinding final : public RunScripts, public RunAdmission {
 public:
  ModelRunBinding(ProgramModel& program, ExclusionList& exclusions, TrackList& tracks,
                  ProxyList& proxies, UserAgentPresets& userAgents, ConnectionControl& connection,
                  MessageBoxes& messages);

  // RunScripts
  bool SelectAndLoad(const std::string& startAddress, RunOptions& options) override;
  void AppendSavedAddresses(std::vector<std::string>& runList) override;
  void MergeFoundLinks(const std::vector<std::string>& batch, std::vector<std::string>& runList) override;
  bool WriteBack(const RunResults& results) override;
  bool WriteBackBusy() const override;
  void SwitchOffAutoDial() override;
  void ClearRun() override;

  // RunAdmission
  bool ValidateStartAddress(std::string& boxText, std::string& pending) override;
  void ResetScope() override { scope_.Reset(); }
  void ResetCounters() override { scope_.ResetCounters(); }
  void RebuildScope(const std::string& startAddress) override;
  void RebaseOnRedirect(const std::string& siteBase, const std::string& folderBase) override {
    scope_.RebaseOnRedirect(siteBase, folderBase);
  }
  bool Admit(const std::string& address, int& category) override;
  bool InScope(const std::string& address, int category) override;
  bool TooDeep(const std::string& address, int32_t limit) override;
  int CategoryOf(const std::string& address) override;
  int IconCategoryOf(const std::string& address) override;
  std::string CurrentProxy() override;
  void AlternateProxy() override;

  ScopeTable& Scope() { return scope_; }
  // Reads the category rules from the parameters again (the start of every run).
  void RefreshRules();

 private:
  bool LanOrLocalhostOnline() const;

  ProgramModel& program_;
  ExclusionList& exclusions_;
  TrackList& tracks_;
  ProxyList& proxies_;
  UserAgentPresets& userAgents_;
  ConnectionControl& connection_;
  MessageBoxes& messages_;
  ScopeTable scope_;
  CategoryRules rules_;
  int slot_ = 0;
};

}  // namespace orv
