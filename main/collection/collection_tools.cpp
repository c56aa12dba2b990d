#include "main/collection/collection_tools.h"

#include <sys/stat.h>

#include <cstdlib>

#include "common/text.h"
#include "main/collection/conversion.h"
#include "main/collection/help_compiler.h"

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

// The compiled file as it stood: a compile that leaves it as it was wrote nothing.
struct FileStamp {
  bool exists = false;
  long long size = 0;
  long long modifiedNs = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return {true, static_cast<long long>(st.st_size),
          static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

}  // namespace

CollectionTools::CollectionTools(ToolsPort& port, std::optional<std::string> searchPath) : port_(port) {
  if (searchPath) {
    searchPath_ = std::move(*searchPath);
  } else if (const char* path = std::getenv("PATH")) {
    searchPath_ = path;
  }
}

std::string CollectionTools::QuickCompileUnavailable(const std::string& programFolder) const {
  if (SizeOf(programFolder + "hhc") < 0) return kNoHhcReason;
  if (FindProgramOnPath("chmcmd", searchPath_).empty()) return kNoChmcmdReason;
  return {};
}

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
  if (busy_ || !QuickCompileUnavailable(programFolder).empty()) return std::nullopt;
  std::optional<ChmTarget> target = ChooseTarget(root, defpath);
  if (!target || !WriteProject(root, *target, sites)) return std::nullopt;
  const std::string project = root + kProjectFileName;
  const std::string compiler = programFolder + "hhc";
  if (SizeOf(project) <= 0 || SizeOf(compiler) <= 1) return std::nullopt;
  const std::string compiled = target->CompiledFile();
  const FileStamp before = StampOf(compiled);
  int code;
  {
    BusyScope busy(port_, busy_);
    code = port_.RunAndWait(compiler, project, root);
  }
  const FileStamp after = StampOf(compiled);
  if (code != 0 || !after.exists || after == before) {
    const std::string failure = kCompileFailedMessage + DisplayName(compiled) + " (hhc: " + std::to_string(code) + ")";
    port_.ShowStatus(failure);
    port_.ShowMessage(failure);
    return code;
  }
  port_.OpenWithDesktop(compiled);
  return code;
}

void CollectionTools::ConvertCollection(const std::string& root, const std::vector<std::string>& files) {
  if (busy_) return;
  std::optional<std::string> folder = port_.ChooseFolder(FolderChoiceMode::ConversionTarget);
  if (!folder) return;
  const ConversionPlace place = PlaceConversion(WithTrailingSlash(root), WithTrailingSlash(*folder));
  switch (place.kind) {
    case ConversionPlace::Kind::CollectionRoot:
      port_.ShowMessage(kChooseAnotherFolderMessage);
      return;
    case ConversionPlace::Kind::InsideCollection:
      port_.ShowMessage(kInsideCollectionMessage);
      return;
    case ConversionPlace::Kind::CannotCreate:
      port_.ShowMessage(kCannotCreateFolderMessage + DisplayName(place.folder));
      return;
    case ConversionPlace::Kind::Chosen:
    case ConversionPlace::Kind::NewFolder:
      break;
  }
  CollectionConversion conversion(WithTrailingSlash(root), place.folder, files);
  {
    BusyScope busy(port_, busy_);
    port_.SetWaitCursor(true);
    while (!conversion.Done()) {
      conversion.Step(1);
      port_.ProcessEvents();
    }
    port_.SetWaitCursor(false);
  }
  std::string status;
  if (place.kind == ConversionPlace::Kind::NewFolder) status = kNewFolderStatus + DisplayName(place.folder);
  if (!conversion.Renamed().empty()) status += (status.empty() ? "" : "; ") + conversion.RenamedStatus();
  if (!status.empty()) port_.ShowStatus(status);
  if (port_.AskYesNo(kConversionDoneQuestion)) port_.UseCollectionRoot(place.folder);
  port_.RebuildFirstLevel();
}

}  // namespace orv::collection
