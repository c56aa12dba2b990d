#include "main/collection/folder_choice.h"

#include <sys/stat.h>

namespace orv::collection {

const char* FolderChoicePrompt(FolderChoiceMode mode) {
  return mode == FolderChoiceMode::CollectionRoot
             ? "Выберите папку, которая будет в дальнейшем использоваться для сохранения в ней папок с копиями сайтов"
             : "Выберите папку, в которую будет помещена преобразованная коллекция";
}

const char* NewFolderPrompt(FolderChoiceMode mode) {
  return mode == FolderChoiceMode::CollectionRoot ? "Введите название для создаваемой папки коллекции сайтов"
                                                  : "Введите название для создаваемой папки преобразованной коллекции";
}

bool HasForbiddenFolderNameChar(std::string_view name) {
  return name.find_first_of(kForbiddenFolderNameChars) != std::string_view::npos;
}

std::string WithoutForbiddenFolderNameChars(std::string_view name) {
  std::string s;
  for (char c : name)
    if (kForbiddenFolderNameChars.find(c) == std::string_view::npos) s += c;
  return s;
}

std::string WithTrailingSlash(std::string_view path) {
  std::string s(path);
  if (s.empty()) return s;
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  if (s != "/") s += '/';
  return s;
}

std::string AvailableRootOr(const std::string& root, const std::string& programFolder) {
  struct stat st{};
  if (!root.empty() && ::stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return root;
  return programFolder;
}

}  // namespace orv::collection
