#include "main/collection/collection_tools.h"

#include <sys/stat.h>

#include "main/collection/conversion.h"

namespace orv::collection {

namespace {

bool IsFolder(const std::string& path) {
  struct stat st{};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

long long SizeOf(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<long long>(st.st_size) : -1;
}

// Busy while it lives.
class BusyScope {
 public:
  BusyScope(ToolsPort& port, bool& flag) : port_(port), flag_(flag) {
    flag_ = true;
    port_.SetBusy(true);
  }
  ~BusyScope() {
    port_.SetBusy(false);
    flag_ = false;
  }

 private:
  ToolsPort& port_;
  bool& flag_;
};

}  // namespace

bool CollectionTools::CompilerPresent(const std::string& programFolder) { return SizeOf(programFolder + "hhc") >= 0; }

std::optional<ChmTarget> CollectionTools::ChooseTarget(const std::string& root, const std::string& defpath) {
  std::string start = IsFolder(defpath) ? defpath : root;
  if (!CanCreateFile(root + "test.hhp")) {
    port_.ShowMessage(kRootNotWritableMessage);
    return std::nullopt;
  }
  std::optional<std::string> chosen = port_.AskChmPath(start);
  if (!chosen || chosen->empty()) return std::nullopt;
  ChmTarget target = ChmTargetOf(*chosen);
  if (!CanCreateFile(target.CompiledFile())) {
    port_.ShowMessage(kTargetNotWritableMessage);
    return std::nullopt;
  }
  port_.SaveDefaultProjectFolder(target.folder);
  return target;
}

bool CollectionTools::WriteProject(const std::string& root, const ChmTarget& target,
                                   const std::vector<SiteFiles>& sites) {
  bool written;
  {
    BusyScope busy(port_, busy_);
    port_.SetWaitCursor(true);
    written = WriteHelpProject(root, target, sites);
    port_.SetWaitCursor(false);
  }
  if (!written) port_.ShowMessage(kRootNotWritableMessage);
  return written;
}

void CollectionTools::MakeAndOpenProject(const std::string& root, const std::string& defpath,
                                         const std::vector<SiteFiles>& sites) {
  if (busy_) return;
  std::optional<ChmTarget> target = ChooseTarget(root, defpath);
  if (!target || !WriteProject(root, *target, sites)) return;
  const std::string project = root + kProjectFileName;
  if (SizeOf(project) <= 0) return;
  if (port_.OpenWithDesktop(project) == ToolsPort::OpenResult::NoProgram &&
      port_.AskYesNo(kNoProjectProgramQuestion))
    port_.OpenWebPage(kHelpCompilerDownloadPage);
}

std::optional<int> CollectionTools::QuickCompile(const std::string& root, const std::string& defpath,
                                                 const std::string& programFolder,
                                                 const std::vector<SiteFiles>& sites) {
  if (busy_ || !CompilerPresent(programFolder)) return std::nullopt;
  std::optional<ChmTarget> target = ChooseTarget(root, defpath);
  if (!target || !WriteProject(root, *target, sites)) return std::nullopt;
  const std::string project = root + kProjectFileName;
  const std::string compiler = programFolder + "hhc";
  if (SizeOf(project) <= 0 || SizeOf(compiler) <= 1) return std::nullopt;
  int code;
  {
    BusyScope busy(port_, busy_);
    code = port_.RunAndWait(compiler, project, root);
  }
  port_.OpenWithDesktop(target->CompiledFile());
  return code;
}

void CollectionTools::ConvertCollection(const std::string& root, const std::vector<std::string>& files) {
  if (busy_) return;
  std::optional<std::string> folder = port_.ChooseFolder(FolderChoiceMode::ConversionTarget);
  if (!folder) return;
  const std::string target = WithTrailingSlash(*folder);
  if (target == WithTrailingSlash(root)) {
    port_.ShowMessage(kChooseAnotherFolderMessage);
    return;
  }
  CollectionConversion conversion(root, target, files);
  {
    BusyScope busy(port_, busy_);
    port_.SetWaitCursor(true);
    while (!conversion.Done()) {
      conversion.Step(1);
      port_.ProcessEvents();
    }
    port_.SetWaitCursor(false);
  }
  if (!conversion.Renamed().empty()) port_.ShowStatus(conversion.RenamedStatus());
  if (port_.AskYesNo(kConversionDoneQuestion)) port_.UseCollectionRoot(target);
  port_.RebuildFirstLevel();
}

}  // namespace orv::collection
