#include "main/run/popup_closer.h"

#include "common/text.h"

namespace orv {

namespace {

const std::vector<std::string>& Patterns(bool fullList) {
  static const std::vector<std::string> kFull = {
      Ru("удаленное соединение"), Ru("выбор программы"), Ru("открыть с помощью"), Ru("загрузка файла"),
      Ru("веб-страница не доступна"), "open with", "file download", "web page unavailable while offline",
      "dial-up connection", "Script Error", Ru("Ошибка Сценария")};
  static const std::vector<std::string> kShort = {"web page unavailable while offline", Ru("веб-страница не доступна"),
                                                  "Script Error", Ru("Ошибка Сценария")};
  return fullList ? kFull : kShort;
}

}  // namespace

int PopupToClose(const std::vector<std::string>& captions, bool fullList) {
  for (std::size_t i = 0; i < captions.size(); ++i) {
    const std::string caption = captions[i].substr(0, 255);
    if (caption.empty()) continue;
    bool matches = false;
    for (const std::string& pattern : Patterns(fullList)) matches = matches || ContainsNoCase(caption, pattern);
    if (!matches) continue;
    return ContainsNoCase(caption, "orvanta") ? -1 : static_cast<int>(i);
  }
  return -1;
}

}  // namespace orv
