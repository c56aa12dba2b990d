#pragma once
// The rules of the folder chooser window ("Выбор папки"), without widgets: its prompts, the
// characters a new folder name may not hold and the folder it starts from. Texts are UTF-8
// (they go to widgets only); paths are local paths ending with "/".

#include <string>
#include <string_view>

namespace orv::collection {

enum class FolderChoiceMode { CollectionRoot, ConversionTarget };

const char* FolderChoicePrompt(FolderChoiceMode mode);
const char* NewFolderPrompt(FolderChoiceMode mode);

inline constexpr std::string_view kForbiddenFolderNameChars = ":/\\?*|<>";
// Shown when a typed folder name holds one of them.
inline constexpr const char* kForbiddenFolderNameMessage = "Имя папки не может содержать символы:  /\\?*|><";

bool HasForbiddenFolderNameChar(std::string_view name);
// The name with those characters taken out.
std::string WithoutForbiddenFolderNameChars(std::string_view name);

// path with exactly one trailing "/" (the root "/" stays "/").
std::string WithTrailingSlash(std::string_view path);

// The collection root, or the program folder when the root's folder no longer exists (its
// volume was unmounted or it was removed).
std::string AvailableRootOr(const std::string& root, const std::string& programFolder);

}  // namespace orv::collection
