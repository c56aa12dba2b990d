#include "main/collection/node_kinds.h"

#include <array>
#include <initializer_list>

#include "common/address_text.h"
#include "common/text.h"

namespace orv::collection {
namespace {

struct KindRow {
  int image;
  std::initializer_list<std::string_view> endings;
};

// Tested in this order; the first row with a match wins ("ht" before ".gif" and so on).
const std::array<KindRow, 15> kKindTable{{
    {7, {"php", "ht", "asp", "cfm"}},
    {6, {"png", ".gif"}},
    {18, {".rar", ".zip", ".arj", ".cab", ".b64", ".gz", ".hqx", ".tar", ".taz", ".tgz"}},
    {5, {".exe"}},
    {14, {".mov", ".avi", ".qt", ".m1v", ".mp2", ".mpe", ".mpeg", ".mp2v", ".mpg"}},
    {12, {".snd", ".au", ".aif", ".mp3", ".wav", ".ram", ".rp", ".rmm", ".rnx", ".rt", ".rv"}},
    {4, {".ini", ".dll", ".ocx", ".drv", ".vxd", ".css"}},
    {3, {".pcx", ".bmp", ".dcx", ".tiff", ".xiff"}},
    {8, {".jpe", ".jfif", ".jpeg", ".jpg"}},
    {11, {".midi", ".mid", ".dmi", ".rmi", ".mix"}},
    {16, {".wri"}},
    {13, {".log", ".txt"}},
    {15, {".dot", ".doc", ".rtf", ".xl"}},
    {9, {".vbs", ".js", ".java", ".clas", ".swf", ".wsf"}},
    {19, {".pdf"}},
}};

}  // namespace

int FileKindImage(std::string_view fileName) {
  std::string tail = LowerCase(fileName.size() > 6 ? fileName.substr(fileName.size() - 6) : fileName);
  if (tail.find('.') == std::string::npos) return kImageOtherFile;
  for (const KindRow& row : kKindTable) {
    for (std::string_view ending : row.endings) {
      if (tail.find(ending) != std::string::npos) return row.image;
    }
  }
  return kImageOtherFile;
}

std::string ShownName(std::string_view diskName) {
  std::string shown(diskName);
  if (shown.find(",8,,x") != std::string::npos) NameUnescape(shown);
  if (shown.find('%') != std::string::npos) PercentDecodeHighAndControl(shown);
  return shown;
}

}  // namespace orv::collection
