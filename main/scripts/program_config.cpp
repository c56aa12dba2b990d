#include "main/scripts/program_config.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/config_keys.h"
#include "common/numbers.h"
#include "common/text.h"
#include "main/base/address_box.h"
#include "main/base/run_status.h"
#include "main/scripts/messages.h"
#include "main/scripts/option_controls.h"
#include "main/scripts/window_layout.h"
#include "platform/file_attributes.h"
#include "platform/process.h"

namespace orv {

namespace fs = std::filesystem;

namespace {

constexpr int kExtRecordsAtStart = 33;
constexpr int kIntRecordsAtStart = 22;
constexpr long long kShortScriptFile = 8;
constexpr std::size_t kMaxTempFolder = 1024;

void RemoveQuietly(const std::string& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

int InRangeOr(long long v, long long low, long long high, int fallback) {
  return (v >= low && v <= high) ? static_cast<int>(v) : fallback;
}

}  // namespace

std::string FallbackBrowserUserAgent() {
  return "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36";
}

const char* UserAgentPresetName(int slot) {
  static const char* const kNames[kUserAgentPresets] = {"Default", "MSIE",   "Netscape", "Opera", "Opera(MSIE)",
                                                        "Orvanta", "Yandex", "Google",   "Aport", "Other"};
  return (slot >= 0 && slot < kUserAgentPresets) ? kNames[slot] : "";
}

std::array<std::string, kUserAgentPresets> DefaultUserAgents(const std::string& systemUserAgent) {
  return {systemUserAgent,
          "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)",
          "Mozilla/4.6 [en] (WinNT; I)",
          "Opera/6.05 (Windows 2000; U)[ru]",
          "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1) Opera 6.05  [ru]",
          systemUserAgent + " Orvanta" + DecimalText(kVersionMajor) + "." + DecimalText(kVersionMinor),
          "Yandex/1.01.001 (compatible; Win16; H)",
          "Googlebot/2.1 (+http://www.google.com/bot.html)",
          "Aport",
          "-"};
}

std::string HomeCollectionFolder() {
  const char* home = std::getenv("HOME");
  return WithSlash(home && *home ? home : "/tmp") + "orvcollections/";
}

std::string ConsoleMissingMessage() {
  return Ru("Не найден файл блока приемников. Деинсталлируйте и вновь установите ") + kMessageTitle;
}

std::string ExchangeFolderMessage(const std::string& programFolder) {
  return Ru("Не удается создать временный файл в папке ") + programFolder + "\n" +
         Ru("(Папка только для чтения или недостаточно прав)") + "\n" + Ru("Деинсталлируйте ") + kMessageTitle +
         Ru(" и вновь установите в другую папку.") + "\n";
}

std::string CollectionFolderMessage(const std::string& folder) {
  return Ru("Ошибка при создании папки ") + folder +
         Ru(". Для коллекций будет использоваться папка программы. После запуска выберите или создайте другую.");
}

bool RecreateExchangeFiles(const std::string& exchangeFolder) {
  const std::string dir = WithSlash(exchangeFolder);
  std::error_code ec;
  fs::create_directories(dir, ec);  // errors ignored: the next step reports them

  RemoveQuietly(dir + kOrvExt);
  {
    std::ofstream ext(dir + kOrvExt, std::ios::binary | std::ios::trunc);
    if (!ext) return false;
    // An empty counted string at the start of each record: the length 0.
    std::string image(static_cast<std::size_t>(kExtRecordsAtStart - 1) * ExchangeFiles::kExtRecordLength + 2, '\0');
    ext.write(image.data(), static_cast<std::streamsize>(image.size()));
    if (!ext.flush()) return false;
  }

  RemoveQuietly(dir + kOrvInt);
  {
    // Zero bytes are an empty channel record: empty strings and the number 0.
    std::ofstream in(dir + kOrvInt, std::ios::binary | std::ios::trunc);
    std::string image(static_cast<std::size_t>(kIntRecordsAtStart) * ExchangeFiles::kIntRecordLength, '\0');
    in.write(image.data(), static_cast<std::streamsize>(image.size()));
  }
  RemoveQuietly(dir + kOrvUrl);
  return true;
}

// ---------------------------------------------------------------- ProgramModel

ProgramModel::ProgramModel(SettingsStore& settings, ProgramViews views, ProgramPaths paths, ProgramHooks hooks)
    : settings_(settings),
      views_(std::move(views)),
      paths_(std::move(paths)),
      hooks_(std::move(hooks)),
      sink_(exchange_),
      params_(settings_, sink_, paths_.platformId),
      scripts_(ScriptModelViews{&views_.status, &views_.messages, &views_.slotButtons}) {
  paths_.programFolder = WithSlash(paths_.programFolder);
  if (paths_.defaultCollectionFolder.empty()) paths_.defaultCollectionFolder = HomeCollectionFolder();
  paths_.defaultCollectionFolder = WithSlash(paths_.defaultCollectionFolder);
  if (paths_.systemUserAgent.empty()) paths_.systemUserAgent = FallbackBrowserUserAgent();
  values_.userAgents = DefaultUserAgents(paths_.systemUserAgent);
}

ProgramModel::~ProgramModel() = default;

StartResult ProgramModel::StartUpFirstPhase() {
  // 1. One instance per program folder.
  if (paths_.singleInstance) {
    std::error_code ec;
    fs::create_directories(ExchangeFolder(), ec);
    lock_ = std::make_unique<SingleInstanceLock>(SingleInstanceLock::AtPath(ExchangeFolder() + "orv.lock"));
    // Only a lock held by a running instance ends here. A lock file that cannot be created
    // (read-only program folder) goes on to the exchange files, whose step reports the folder.
    if (lock_->HeldByAnother()) return StartResult::EndSilently;
  }
  // 2.
  {
    std::error_code ec;
    systemTemp_ = fs::temp_directory_path(ec).string();
    if (systemTemp_.size() > kMaxTempFolder) systemTemp_.resize(kMaxTempFolder);
  }
  // 3.
  if (hooks_.resetRunState) hooks_.resetRunState();
  settings_.Write(kConsoleChannelKey, "0");
  startTime_ = std::chrono::system_clock::now();
  settings_.Write(kMainWindowKey, "0");
  // 4-5. The console must sit beside this program.
  if (FileLength(paths_.programFolder + "kuvet") < kMinConsoleSize) {
    views_.messages.ShowMessage(ConsoleMissingMessage(), MessageIcon::None);
    return StartResult::EndAfterMessage;
  }
  // 6-7.
  if (!RecreateExchangeFiles(ExchangeFolder()) || !exchange_.Open(ExchangeFolder(), true)) {
    views_.messages.ShowMessage(ExchangeFolderMessage(paths_.programFolder), MessageIcon::Error);
    return StartResult::EndAfterMessage;
  }
  // 8. The platform identifier is fixed by the build (paths_.platformId).
  // 9.
  if (hooks_.loadLists) hooks_.loadLists();
  // 10.
  values_.mprx = settings_.Read(kCurrentProxyKey, "");
  values_.nprx = settings_.ReadNumber(kProxyCounterKey, 0);
  if (hooks_.startSupervisionTimer) hooks_.startSupervisionTimer();
  for (int m = 0; m < 4; ++m) modeDescriptions_[static_cast<std::size_t>(m)] = ScriptModeDescription(m);
  return StartResult::Continue;
}

void ProgramModel::StartUpSecondPhase() {
  // 1.
  views_.status.Clear();
  if (hooks_.initDialUp) hooks_.initDialUp();
  soundFolder_ = paths_.programFolder;
  // 2.
  views_.layout.CloseHelpWindows();
  if (settings_.Read(kWindowMaximizedKey, "0") == "1") views_.layout.SetMaximized(true);
  values_.mdtxa = settings_.ReadBool(kActiveCursorKey, true);
  views_.layout.SetActiveCursorMenu(values_.mdtxa);
  // 3.
  const auto defaults = DefaultUserAgents(paths_.systemUserAgent);
  for (int i = 0; i < kUserAgentPresets; ++i)
    values_.userAgents[static_cast<std::size_t>(i)] =
        settings_.Read(std::string(kUserAgentKeyPrefix) + DecimalText(i), defaults[static_cast<std::size_t>(i)]);
  values_.userAgentIndex = InRangeOr(settings_.ReadNumber(kUserAgentChoiceKey, 0), 0, kUserAgentPresets - 1, 0);
  views_.options.SelectUserAgentPreset(values_.userAgentIndex);
  // 4.
  const std::string dfvy = settings_.Read(kSearchSizeToKey, "0");
  const std::string dfvx = settings_.Read(kSearchSizeFromKey, "0");
  views_.layout.SetSearchSizeFields(dfvx, dfvy);
  views_.layout.SetTreeSplitter(static_cast<int>(settings_.ReadNumber(kTreeSplitterKey, 1200)));
  views_.layout.SetBrowserSplitter(static_cast<int>(settings_.ReadNumber(kBrowserSplitterKey, 800)));
  if (hooks_.showExclusionLists) hooks_.showExclusionLists();
  // 5.
  views_.slotButtons.CreateScriptSlotButtons(1, kUserSlots - 1);
  // 6.
  values_.gvle = settings_.ReadNumber(kAllTimeBytesKey, 0);
  settings_.Write(kMainWindowKey, DecimalText(views_.mainWindowHandle));
  sink_.WriteRecord(MainWindow, DecimalText(views_.exchangeButtonHandle));
  // 7.
  params_.LoadAll();
  views_.options.RefreshOptionLists();
  // 8.
  values_.preview = settings_.ReadBool(kPreviewKey, true);
  values_.noCertCheck = settings_.ReadBool(kNoCertCheckKey, false);
  values_.renderPages = settings_.ReadBool(kRenderPagesKey, false);
  values_.ritm = settings_.ReadNumber(kDialEntryIndexKey, 0);
  if (hooks_.fillDialUpEntries) hooks_.fillDialUpEntries();
  values_.nScript = InRangeOr(settings_.ReadNumber(kScriptSlotKey, 0), 0, kUserSlots - 1, 0);
  scripts_.currentSlot = values_.nScript;
  views_.slotButtons.SelectScriptSlotButton(values_.nScript);
  ChooseEncoding(InRangeOr(settings_.ReadNumber(kEncodingKey, 1), 0, 2, 1));
  // 9.
  std::vector<std::string> history;
  for (int i = 0; i < kHistoryEntries; ++i) {
    std::string entry = settings_.Read(kAddressHistoryKeyPrefix + DecimalText(i) + kAddressHistoryKeySuffix, "");
    if (!entry.empty()) history.push_back(std::move(entry));
  }
  views_.address.SetAddressHistory(history);
  // 10.
  values_.lanConnect = settings_.ReadBool(kLanModeKey, true);
  values_.modConnect = settings_.ReadBool(kModemModeKey, false);
  values_.mocConnect = settings_.ReadBool(kLocalhostModeKey, false);
  if (hooks_.setConnectionMode) hooks_.setConnectionMode(values_.lanConnect, values_.modConnect, values_.mocConnect);
  // 11.
  const long long wi = settings_.ReadNumber(kWindowWidthKey, kMinWindowWidth);
  views_.layout.SetWindowSize(static_cast<int>(wi < kMinWindowWidth ? kMinWindowWidth : wi),
                        static_cast<int>(settings_.ReadNumber(kWindowHeightKey, 6300)));
  views_.layout.SetLowerSplitter(static_cast<int>(settings_.ReadNumber(kLowerSplitterKey, 4500)));
  views_.layout.ArrangePanes();
  params_.LoadScriptMode();  // intensity was read with list 2
  scripts_.scriptMode = params_.ScriptMode();
  views_.options.SelectScriptModeButton(params_.ScriptMode());
  views_.layout.ArrangePanes();
  // 12.
  ResolveCollectionFolder();
  // 13.
  if (hooks_.openUrlList) hooks_.openUrlList();
  params_.ApplyList(kSwitches);
  params_.ApplyList(kEndActions);
  params_.ApplyList(kLimits);
  // 14.
  values_.defpath = settings_.Read(kHelpFileFolderKey, CollectionFolder());
  values_.tbbtn = settings_.Read(kToolbarPageKey, "options");
  views_.options.ShowOptionsPage(values_.tbbtn);
  if (hooks_.fillDialUpEntries) hooks_.fillDialUpEntries();
  if (hooks_.startDialUpTimer) hooks_.startDialUpTimer();
  if (hooks_.showProxyList) hooks_.showProxyList();
}

void ProgramModel::ResolveCollectionFolder() {
  const std::string stored = settings_.Read(kCollectionFolderKey, paths_.programFolder);
  std::string folder = stored.empty() ? paths_.programFolder : stored;
  if (WithSlash(folder) == paths_.programFolder) {
    const std::string home = paths_.defaultCollectionFolder;
    std::error_code ec;
    fs::create_directory(home, ec);
    if (!ec || fs::is_directory(home)) {
      folder = home;
    } else {
      views_.messages.ShowMessage(CollectionFolderMessage(home), MessageIcon::Error);
    }
  }
  folder = WithSlash(folder);
  // The console takes its collection folder from PFOLD: it must name the folder chosen here,
  // or a first run would write the downloads where this program never looks.
  if (stored != folder) settings_.Write(kCollectionFolderKey, folder);
  scripts_.collectionFolder = folder;
  // The current slot's script can be shown only now that its folder is known.
  scripts_.LoadForDisplay(scripts_.currentSlot);
  if (hooks_.buildCollectionTree) hooks_.buildCollectionTree(folder);
}

void ProgramModel::ChangeCollectionFolder(const std::string& chosen) {
  if (chosen.empty()) return;
  // A root whose volume is gone is replaced by the program folder.
  const std::string folder = fs::is_directory(chosen) ? WithSlash(chosen) : paths_.programFolder;
  const bool changed = folder != scripts_.collectionFolder;
  settings_.Write(kCollectionFolderKey, folder);
  if (changed) {
    scripts_.collectionFolder = folder;
    if (hooks_.clearAddressTree) hooks_.clearAddressTree();
  }
  if (hooks_.openUrlList) hooks_.openUrlList();
  if (hooks_.buildCollectionTree) hooks_.buildCollectionTree(folder);
}

void ProgramModel::ChooseEncoding(int index) {
  if (index < 0 || index > 2) return;
  values_.chset = index;
  views_.options.SelectEncoding(index);
  sink_.WriteRecord(CharsetMode, DecimalText(index));
}

void ProgramModel::ChooseScriptSlot(int slot) {
  if (slot < 0 || slot >= kUserSlots) return;
  scripts_.currentSlot = slot;
  values_.nScript = slot;
  settings_.WriteNumber(kScriptSlotKey, slot);
  scripts_.LoadForDisplay(slot);
}

void ProgramModel::ChooseScriptMode(int mode) {
  params_.ChooseScriptMode(mode, &views_.status);
  scripts_.scriptMode = params_.ScriptMode();
}

void ProgramModel::OptionsPageShown(const std::string& key) {
  values_.tbbtn = key;
  settings_.Write(kToolbarPageKey, key);
}

void ProgramModel::SetPreview(bool on) {
  values_.preview = on;
  settings_.WriteBool(kPreviewKey, on);
}

void ProgramModel::SetSkipCertificateCheck(bool on) {
  values_.noCertCheck = on;
  settings_.WriteBool(kNoCertCheckKey, on);
}

void ProgramModel::SetRenderPages(bool on) {
  values_.renderPages = on;
  settings_.WriteBool(kRenderPagesKey, on);
}

void ProgramModel::SetActiveCursor(bool on) {
  values_.mdtxa = on;
  settings_.WriteBool(kActiveCursorKey, on);
  views_.layout.SetActiveCursorMenu(on);
}

bool ProgramModel::RequestClose() {
  if (readyToClose_) return true;
  views_.status.Ending();
  closing_ = true;
  return false;
}

void ProgramModel::PrepareToClose() {
  views_.status.Show(3, Ru(" Подготовка к закрытию программы"));
  closeTimerOn_ = true;
}

CloseTick ProgramModel::CloseTimerTick(const std::function<bool()>& closeWindow) {
  if (!closeTimerOn_) return CloseTick::Idle;
  if (scripts_.Busy()) return CloseTick::Waiting;
  if (++closeTicks_ < kCloseTicks) return CloseTick::Counted;
  if (!settingsSaved_) {
    SaveAllSettings(closing_);
    settingsSaved_ = true;
  }
  readyToClose_ = true;
  if (closeWindow && closeWindow()) {
    closeTimerOn_ = false;
    return CloseTick::Closed;
  }
  readyToClose_ = false;
  return CloseTick::CloseRefused;
}

void ProgramModel::SaveAllSettings(bool closedByUser) {
  views_.layout.CloseHelpWindows();
  if (hooks_.closeConsoleLink) hooks_.closeConsoleLink();
  if (hooks_.stopEndOfRunTimer) hooks_.stopEndOfRunTimer();
  if (hooks_.collectSettings) hooks_.collectSettings(values_);

  for (int i = 0; i < kUserAgentPresets; ++i)
    settings_.Write(std::string(kUserAgentKeyPrefix) + DecimalText(i), values_.userAgents[static_cast<std::size_t>(i)]);
  settings_.WriteNumber(kUserAgentChoiceKey, values_.userAgentIndex < 0 ? 0 : values_.userAgentIndex);
  params_.SaveAll();
  settings_.WriteBool(kLanModeKey, values_.lanConnect);
  settings_.WriteBool(kModemModeKey, values_.modConnect);
  settings_.WriteBool(kLocalhostModeKey, values_.mocConnect);
  settings_.Write(kWindowMaximizedKey, views_.layout.IsMaximized() ? "1" : "0");
  settings_.Write(kCurrentProxyKey, values_.mprx);
  settings_.WriteNumber(kProxyCounterKey, values_.nprx);
  settings_.Write(kSearchSizeFromKey, views_.layout.SearchSizeFieldX());
  settings_.Write(kSearchSizeToKey, views_.layout.SearchSizeFieldY());
  sink_.WriteRecord(CharsetMode, DecimalText(values_.chset));
  settings_.WriteNumber(kEncodingKey, values_.chset);
  settings_.WriteNumber(kTreeSplitterKey, views_.layout.TreeSplitter());
  settings_.WriteNumber(kBrowserSplitterKey, views_.layout.BrowserSplitter());
  settings_.WriteNumber(kDialEntryIndexKey, values_.ritm);
  const std::vector<std::string> history = views_.address.AddressHistory();
  for (std::size_t i = 0; i < history.size(); ++i)
    settings_.Write(kAddressHistoryKeyPrefix + DecimalText(static_cast<long long>(i)) + kAddressHistoryKeySuffix, history[i]);
  // Entries of a longer earlier history would come back at the next start: blank them (blank
  // entries are skipped when the history is read).
  for (std::size_t i = history.size(); i < static_cast<std::size_t>(kHistoryEntries); ++i) {
    const std::string key = kAddressHistoryKeyPrefix + DecimalText(static_cast<long long>(i)) + kAddressHistoryKeySuffix;
    if (!settings_.Read(key, "").empty()) settings_.Write(key, "");
  }
  settings_.WriteNumber(kWindowWidthKey, views_.layout.WindowWidth());
  settings_.Write(kMainWindowKey, "");
  settings_.WriteNumber(kWindowHeightKey, views_.layout.WindowHeight());
  settings_.WriteNumber(kLowerSplitterKey, views_.layout.LowerSplitter());

  DeleteShortScriptFiles();
  if (hooks_.saveLists) hooks_.saveLists();

  if (params_.Switch(kDeleteScriptAtEndRowKey) && hooks_.showScriptDeletion) hooks_.showScriptDeletion(scripts_.currentSlot);
  if (params_.Switch(kShutDownAtEndRowKey) && !closedByUser) {
    const std::string program = paths_.programFolder + "orvwnext";
    if (hooks_.startProgram) {
      hooks_.startProgram(program);
    } else if (FileLength(program) >= 0) {
      StartDetached(program);
    }
  }
}

void ProgramModel::DeleteShortScriptFiles() {
  if (CollectionFolder().empty()) return;
  for (int slot = 0; slot < kUserSlots; ++slot) {
    const std::string file = scripts_.FileOf(slot);
    const long long len = FileLength(file);
    if (len >= 0 && len < kShortScriptFile) RemoveQuietly(file);
  }
}

}  // namespace orv
