#pragma once
// The three tools of the site tree's popup, without widgets: "Создать и открыть проект .hhp",
// "Создание и быстрая компиляция .chm" and "Преобразовать коллекцию". What they show and
// start goes through ToolsPort, so the window, tests and any other front end drive the same
// sequence. Texts handed to the port are UTF-8; paths are local paths (bytes).

#include <optional>
#include <string>
#include <vector>

#include "main/collection/folder_choice.h"
#include "main/collection/help_project.h"

namespace orv::collection {

// The help compiler's download page, offered when no program opens the project.
inline constexpr const char* kHelpCompilerDownloadPage = "https://packages.debian.org/stable/fp-utils";

inline constexpr const char* kRootNotWritableMessage = "Не удается создать файл в этой папке.";
inline constexpr const char* kTargetNotWritableMessage =
    "Ошибка создания файла. Файл может быть занят другим приложением или выбранный каталог только для чтения.";
inline constexpr const char* kNoProjectProgramQuestion =
    "Проект 'collection.hhp' создан. Программа HTML Help Workshop не найдена. Хотите скачать и установить программу "
    "'Microsoft Html Help Worksop?'";
inline constexpr const char* kChooseAnotherFolderMessage = "Выберите другую папку";
inline constexpr const char* kInsideCollectionMessage =
    "Эта папка находится внутри коллекции, копия стала бы её частью. Выберите другую папку";
inline constexpr const char* kCannotCreateFolderMessage = "Не удается создать папку ";
// The chosen folder was not empty: the copy went into a new folder inside it.
inline constexpr const char* kNewFolderStatus = "Папка не пуста, коллекция преобразована в новую папку ";
inline constexpr const char* kConversionDoneQuestion =
    "Преобразование завершено. Открыть папку с преобразованной коллекцией?";
inline constexpr const char* kSaveChmTitle = "Создание файла 'CHM'";
// Why the quick compile command is disabled (its tooltip).
inline constexpr const char* kNoHhcReason = "Быстрая компиляция недоступна: в папке программы нет hhc";
inline constexpr const char* kNoChmcmdReason =
    "Быстрая компиляция недоступна: не найдена программа chmcmd (пакет fp-utils)";
// A compile that did not produce the help file; the file's name and the exit code follow.
inline constexpr const char* kCompileFailedMessage = "Компиляция не удалась, файл справки не создан: ";

class ToolsPort {
 public:
  virtual ~ToolsPort() = default;
  // The save dialog "Создание файла 'CHM'" for ".chm" files, starting in folder; nullopt on
  // cancel.
  virtual std::optional<std::string> AskChmPath(const std::string& startFolder) = 0;
  // The folder chooser in the given mode; the chosen folder ends with "/"; nullopt on cancel.
  virtual std::optional<std::string> ChooseFolder(FolderChoiceMode mode) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  virtual bool AskYesNo(const std::string& text) = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  // Busy mode of the site tree and the tools (the busy label replaces the tree).
  virtual void SetBusy(bool on) = 0;
  virtual void SetWaitCursor(bool on) = 0;
  // Lets pending window events run.
  virtual void ProcessEvents() = 0;

  enum class OpenResult { Opened, NoProgram, Failed };
  // Opens a file with the desktop's program for it.
  virtual OpenResult OpenWithDesktop(const std::string& path) = 0;
  virtual void OpenWebPage(const std::string& address) = 0;
  // Runs program with one argument in workingFolder and waits, letting events run; returns
  // its exit code (-1 when it could not run).
  virtual int RunAndWait(const std::string& program, const std::string& argument,
                         const std::string& workingFolder) = 0;

  virtual void SaveDefaultProjectFolder(const std::string& folder) = 0;  // `defpath`
  // The chosen folder becomes the collection root (saved, exchange list reopened).
  virtual void UseCollectionRoot(const std::string& root) = 0;
  virtual void RebuildFirstLevel() = 0;
};

class CollectionTools {
 public:
  // searchPath: where `chmcmd` is looked for (PATH's form); by default the environment's PATH.
  explicit CollectionTools(ToolsPort& port, std::optional<std::string> searchPath = std::nullopt);

  // Set while a tool runs: "Выбрать Папку Коллекции" and the help submenu are disabled.
  bool Busy() const { return busy_; }
  // The quick compile command is offered only when the program folder holds `hhc` and
  // `chmcmd`, which it runs, is installed: empty then, else why not (kNoHhcReason,
  // kNoChmcmdReason).
  std::string QuickCompileUnavailable(const std::string& programFolder) const;

  // Start folder, root probe, save dialog, name rules, target probe; saves `defpath`.
  std::optional<ChmTarget> ChooseTarget(const std::string& root, const std::string& defpath);

  // "Создать и открыть проект .hhp".
  void MakeAndOpenProject(const std::string& root, const std::string& defpath, const std::vector<SiteFiles>& sites);
  // "Создание и быстрая компиляция .chm". Returns the compiler's exit code, or nullopt when
  // it did not run. The help file is opened only when the compiler ended well and wrote it
  // (a file left from before does not count); otherwise kCompileFailedMessage says so.
  std::optional<int> QuickCompile(const std::string& root, const std::string& defpath,
                                  const std::string& programFolder, const std::vector<SiteFiles>& sites);
  // "Преобразовать коллекцию": files are the full paths of the tree's file nodes. The copy
  // goes into the chosen folder when it is empty, else into a new folder inside it; the
  // collection root and folders inside it are refused.
  void ConvertCollection(const std::string& root, const std::vector<std::string>& files);

 private:
  bool WriteProject(const std::string& root, const ChmTarget& target, const std::vector<SiteFiles>& sites);

  ToolsPort& port_;
  std::string searchPath_;
  bool busy_ = false;
};

}  // namespace orv::collection
