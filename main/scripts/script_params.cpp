#include "main/scripts/script_params.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "common/config_keys.h"
#include "common/numbers.h"
#include "common/text.h"
#include "main/base/run_status.h"

namespace orv {

namespace {

struct CategoryDefault {
  const char* key;
  const char* caption;
  const char* extensions;
};

constexpr CategoryDefault kCategoryDefaults[kCategoryCount] = {
    {"Htmls", "Гипертекст", ".html.cgi.php.chm.shtm"},
    {"images", "Рисунки", ".gif.jpg.jfif.png.ipx.bmp.webp.avif.svg.ico"},
    {"sounds", "Звуки", ".mp3.wav.midi"},
    {"videos", "Видео", ".vid.mov.mpeg.mpg"},
    {"texts", "Тексты", ".txt.doc"},
    {"Applets", "Апплеты", ".class.swf"},
    {"binaries", "Бинарные", ".exe.zip.rar"},
    {"Other", "Прочие", ""},
};

struct Range {
  long long low, high;
};

// Exchange records written when their list is applied.
constexpr int kRecEmbeddedMark = 13;
constexpr int kRecFrameMark = 14;
constexpr int kRecRefetchExisting = 15;
constexpr int kRecRetryLimit = 20;
constexpr int kRecTextFileNames = 30;
constexpr int kRecSimilarHosts = 32;

long long WholeNumber(const std::string& text) { return LeadingInt(text); }

std::string Clamped(const std::string& text, Range r) {
  long long v = WholeNumber(text);
  v = std::clamp(v, r.low, r.high);
  return std::to_string(v);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number as the numeric fields accept it: optional blanks, an optional sign, digits with at
// most one decimal point.
bool IsNumber(const std::string& t) {
  std::size_t i = 0, n = t.size();
  while (i < n && t[i] == ' ') ++i;
  if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
  bool digits = false, point = false;
  for (; i < n; ++i) {
    if (IsDigit(t[i])) {
      digits = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  while (i < n && t[i] == ' ') ++i;
  return digits && i == n;
}

}  // namespace

std::string ZoneSite() { return Ru("Сайт"); }
std::string ZoneFolder() { return Ru("Папка"); }
std::string ZoneNet() { return Ru("Сеть"); }
std::string ZoneForAll() { return Ru("Для всех"); }
std::vector<std::string> ZoneChoices() { return {ZoneNet(), ZoneSite(), ZoneFolder(), ZoneForAll()}; }

std::string IntensityCaption(int intensity) {
  switch (intensity) {
    case 1: return Ru("Средняя");
    case 2: return Ru("Низкая");
    case 3: return Ru("Максимальная");
    default: return Ru("Высокая");
  }
}

std::string ScriptModeCaption(int mode) {
  switch (mode) {
    case 1: return Ru("Только расширяемый режим");
    case 2: return Ru("Нерасширяемый режим");
    case 3: return Ru("Неизменяемый режим");
    default: return Ru("Нормальный режим");
  }
}

std::string ScriptModeDescription(int mode) {
  switch (mode) {
    case 1:
      return Ru("Расширяемый режим: - Допускает расширение сценариев в процессе скачивания - Адреса "
                "скачанных файлов НЕ удаляются");
    case 2:
      return Ru("Нерасширяемый режим: - Не допускает расширение сценариев в процессе скачивания") + "\n" +
             Ru(" - Адреса скачанных файлов удаляются");
    case 3: return Ru("Неизменяемый режим: - НЕ допускает никаких изменений сценариев в процессе работы.");
    default:
      return Ru("Нормальный режим: - Допускает добавление адресов ссылок в сценарии - Удаляет адреса уже "
                "скачанных файлов");
  }
}

std::string OnOffText(bool on) { return on ? Ru("Вкл.") : Ru("Выкл."); }

std::string FilterNumericText(const std::string& text, long long highest) {
  std::string t = text;
  if (!IsNumber(t) && !t.empty()) t.pop_back();
  if (!IsNumber(t)) return "0";
  std::size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || t[i] == '+' || t[i] == '-')) ++i;
  long long v = 0;
  for (; i < t.size() && IsDigit(t[i]); ++i) {
    v = v * 10 + (t[i] - '0');
    if (v > highest) {
      v = highest;
      break;
    }
  }
  return std::to_string(v);
}

ScriptParameters::ScriptParameters(SettingsStore& settings, ExchangeSink& exchange, int platformId)
    : settings_(settings), exchange_(exchange), platformId_(platformId) {
  ResetToDefaults();
}

void ScriptParameters::ResetToDefaults() {
  for (int i = 0; i < kCategoryCount; ++i) {
    CategoryRow& r = rows_[i];
    r = CategoryRow{};
    r.key = kCategoryDefaults[i].key;
    r.caption = Ru(kCategoryDefaults[i].caption);
    r.enabled = true;
    r.extensions = kCategoryDefaults[i].extensions;
    r.zone = ZoneSite();
    r.countText = "15";
    r.minText = "0";
    r.maxText = "1000";
  }
  auto sw = [](const char* key, const char* caption, bool on) {
    return OptionRow{key, Ru(caption), true, on, false, {}};
  };
  auto val = [](const char* key, const char* caption, std::string v) {
    return OptionRow{key, Ru(caption), false, false, true, std::move(v)};
  };
  auto both = [](const char* key, const char* caption, std::string v) {
    return OptionRow{key, Ru(caption), true, false, true, std::move(v)};
  };
  lists_[kSwitches] = {
      sw("p_dial", "Автодозвон", false),          sw("p_analog", "Похожие адреса", false),
      sw("p_frames", "Фреймы", false),            sw("p_refresh", "Автообновление", false),
      sw("p_allfrom", "Все с первой", false),     sw("p_SlideStop", "Плавный стоп", false),
      sw("p_Proxy", "Прокси", false),             sw("p_sounds", "Звуки", false),
      sw("p_media", "Мультимедиа режим", true),   sw("p_proxy2", "Чередование прокси", false),
      sw("p_textnames", "Имена файлов в тексте", false),
  };
  lists_[kConnection] = {
      val(kDialEntryRowKey, "Соединение", ""),
      val(kDialRetrySecondsRowKey, "Повторы, сек", "30"),
      val(kDialWaitSecondsRowKey, "Ожидание, сек", "300"),
      val(kDialRotateRowKey, "Обход", OnOffText(false)),
  };
  lists_[kTransfer] = {
      val(kChannelCountRowKey, "Количество", "20"),
      val(kIntensityRowKey, "Интенсивность", IntensityCaption(0)),
      val(kTransferRepeatsRowKey, "Повторы", "5"),
      val(kTransferWaitRowKey, "Ожидание, сек", "300"),
  };
  lists_[kLimits] = {
      both(kDepthLimitRowKey, "Уровни", "15"),
      both(kAddressLimitRowKey, "Адреса :", "15"),
      both(kVolumeLimitRowKey, "Объем, kB :", "15"),
      both(kOnlineLimitRowKey, "В сети, мин:", "15"),
  };
  lists_[kEndActions] = {
      sw(kDisconnectAtEndRowKey, "Разъединить", false),
      sw(kCloseAtEndRowKey, "Закрыть", false),
      sw(kShutDownAtEndRowKey, "Выключить", false),
      sw(kDeleteScriptAtEndRowKey, "Удалить сценарий", false),
  };
  scriptMode_ = 0;
  intensity_ = 0;
  autoScript_ = false;
  for (int c = 1; c <= kCategoryCount; ++c) ApplyCategory(c);
}

// ---------------------------------------------------------------- categories

void ScriptParameters::LoadCategories() {
  for (int i = 0; i < kCategoryCount; ++i) {
    CategoryRow& r = rows_[i];
    const std::string k = kCategoryKeyPrefix + std::to_string(i + 1);
    r.enabled = true;
    r.extensions = kCategoryDefaults[i].extensions;
    r.zone = ZoneSite();
    r.countText = std::to_string(settings_.ReadNumber(k + "Counter", 15));
    r.countChecked = settings_.ReadBool(k + "CountLimit", false);
    r.enabled = settings_.ReadBool(k + "Enabled", true);
    // An empty stored list leaves the built-in one in place.
    std::string ext = settings_.Read(k + "Extend", "");
    if (!ext.empty()) r.extensions = ext;
    r.maxText = std::to_string(settings_.ReadNumber(k + "MaxLenght", 1000));
    r.maxChecked = settings_.ReadBool(k + "MaxLimit", false);
    r.minText = std::to_string(settings_.ReadNumber(k + "MinLenght", 0));
    r.minChecked = settings_.ReadBool(k + "MinLimit", false);
    r.zone = settings_.Read(k + "Zone", ZoneSite());
    ApplyCategory(i + 1);
  }
}

void ScriptParameters::SaveCategories() {
  for (int i = 0; i < kCategoryCount; ++i) {
    const CategoryRecord& c = records_[i];
    const std::string k = kCategoryKeyPrefix + std::to_string(i + 1);
    settings_.WriteNumber(k + "Counter", c.counter);
    settings_.WriteBool(k + "CountLimit", c.countLimit);
    settings_.WriteBool(k + "Enabled", c.enabled);
    settings_.Write(k + "Extend", c.extend);
    settings_.WriteNumber(k + "MaxLenght", c.maxLenght);
    settings_.WriteBool(k + "MaxLimit", c.maxLimit);
    settings_.WriteNumber(k + "MinLenght", c.minLenght);
    settings_.WriteBool(k + "MinLimit", c.minLimit);
    settings_.Write(k + "Zone", c.zone);
  }
}

void ScriptParameters::ApplyCategory(int category) {
  const CategoryRow& r = rows_.at(category - 1);
  CategoryRecord& c = records_.at(category - 1);
  auto num = [](const std::string& t) {
    return static_cast<std::int32_t>(std::clamp<long long>(WholeNumber(t), INT32_MIN, INT32_MAX));
  };
  c.enabled = r.enabled;
  c.extend = r.extensions;
  c.zone = r.zone;
  c.countLimit = r.countChecked;
  c.counter = num(r.countText);
  c.minLimit = r.minChecked;
  c.minLenght = num(r.minText);
  c.maxLimit = r.maxChecked;
  c.maxLenght = num(r.maxText);
}

void ScriptParameters::ToggleCategoryEnabled(int row) {
  CategoryRow& r = rows_.at(row - 1);
  r.enabled = !r.enabled;
  ApplyCategory(row);
}

void ScriptParameters::EditExtensions(int row, const std::string& text) {
  rows_.at(row - 1).extensions = text;
  ApplyCategory(row);
}

void ScriptParameters::ChooseZone(int row, const std::string& choice) {
  CategoryRow& r = rows_.at(row - 1);
  if (choice == ZoneForAll()) {
    for (int i = 0; i < kCategoryCount; ++i) {
      rows_[i].zone = r.zone;
      ApplyCategory(i + 1);
    }
    return;
  }
  r.zone = choice;
  ApplyCategory(row);
}

void ScriptParameters::ToggleCountLimit(int row) {
  CategoryRow& r = rows_.at(row - 1);
  r.countChecked = !r.countChecked;
  ApplyCategory(row);
}

void ScriptParameters::EditCount(int row, const std::string& text) {
  rows_.at(row - 1).countText = FilterNumericText(text);
  ApplyCategory(row);
}

void ScriptParameters::ToggleMinLimit(int row) {
  CategoryRow& r = rows_.at(row - 1);
  r.minChecked = !r.minChecked;
  r.maxChecked = r.minChecked;
  ApplyCategory(row);
}

void ScriptParameters::ToggleMaxLimit(int row) {
  CategoryRow& r = rows_.at(row - 1);
  r.maxChecked = !r.maxChecked;
  r.minChecked = r.maxChecked;
  ApplyCategory(row);
}

void ScriptParameters::EditMinSize(int row, const std::string& text) {
  CategoryRow& r = rows_.at(row - 1);
  r.minText = FilterNumericText(text);
  const long long mn = WholeNumber(r.minText), mx = WholeNumber(r.maxText);
  if (mn >= mx) r.maxText = std::to_string(mn + 1);
  ApplyCategory(row);
}

void ScriptParameters::EditMaxSize(int row, const std::string& text) {
  CategoryRow& r = rows_.at(row - 1);
  r.maxText = FilterNumericText(text);
  const long long mn = WholeNumber(r.minText), mx = WholeNumber(r.maxText);
  if (mx < 2) {
    r.minText = r.maxText;
  } else if (mn > mx) {
    r.minText = std::to_string(mx - 1);
  }
  ApplyCategory(row);
}

std::pair<std::string, std::string> ScriptParameters::SizeBoundsBytes(int category) const {
  const CategoryRecord& c = Category(category);
  if (!c.maxLimit) return {"0", "0"};
  return {std::to_string(static_cast<long long>(c.minLenght) * 1024),
          std::to_string(static_cast<long long>(c.maxLenght) * 1024)};
}

// ---------------------------------------------------------------- option lists

OptionRow& ScriptParameters::MutableRow(int list, const std::string& key) {
  for (OptionRow& r : lists_.at(list))
    if (r.key == key) return r;
  throw std::out_of_range("no option row " + key);
}

const OptionRow& ScriptParameters::Row(int list, const std::string& key) const {
  return const_cast<ScriptParameters*>(this)->MutableRow(list, key);
}

bool ScriptParameters::Switch(const std::string& key) const {
  for (const auto& list : lists_)
    for (const OptionRow& r : list)
      if (r.key == key) return r.checked;
  throw std::out_of_range("no option row " + key);
}

int ScriptParameters::Value(int list, const std::string& key) const {
  return static_cast<int>(WholeNumber(Row(list, key).value));
}

std::string ScriptParameters::Text(int list, const std::string& key) const { return Row(list, key).value; }

void ScriptParameters::LoadList(int list) {
  auto& rows = lists_.at(list);
  switch (list) {
    case kSwitches:
      for (OptionRow& r : rows) r.checked = settings_.ReadBool(r.key, r.key == "p_media");
      break;
    case kConnection:
      MutableRow(list, kDialEntryRowKey).value = settings_.Read(kDialEntryRowKey, "");
      MutableRow(list, kDialRetrySecondsRowKey).value = settings_.Read(kDialRetrySecondsRowKey, "30");
      MutableRow(list, kDialWaitSecondsRowKey).value = settings_.Read(kDialWaitSecondsRowKey, "300");
      MutableRow(list, kDialRotateRowKey).value = OnOffText(settings_.ReadBool(kDialRotateRowKey, false));
      break;
    case kTransfer: {
      MutableRow(list, kChannelCountRowKey).value = settings_.Read(kChannelCountRowKey, "20");
      MutableRow(list, kTransferRepeatsRowKey).value = settings_.Read(kTransferRepeatsRowKey, "5");
      MutableRow(list, kTransferWaitRowKey).value = settings_.Read(kTransferWaitRowKey, "300");
      long long in = settings_.ReadNumber(kIntensityKey, 0);
      intensity_ = (in >= 0 && in <= kMaxIntensity) ? static_cast<int>(in) : 0;
      ApplyIntensityText();
      break;
    }
    case kLimits:
      for (OptionRow& r : rows) {
        r.checked = settings_.ReadBool(kLimitOnKeyPrefix + r.key, false);
        r.value = settings_.Read(kLimitValueKeyPrefix + r.key, "15");
      }
      break;
    case kEndActions:
      for (OptionRow& r : rows) r.checked = settings_.ReadBool(kEndActionKeyPrefix + r.key, false);
      autoScript_ = settings_.ReadNumber(kAutoScriptKey, 0) == 1;
      break;
    default: throw std::out_of_range("no option list");
  }
  ApplyList(list);
}

void ScriptParameters::SaveList(int list) {
  const auto& rows = lists_.at(list);
  switch (list) {
    case kSwitches:
      for (const OptionRow& r : rows) settings_.WriteBool(r.key, r.checked);
      break;
    case kConnection:
      settings_.Write(kDialEntryRowKey, Text(list, kDialEntryRowKey));
      settings_.Write(kDialRetrySecondsRowKey, Text(list, kDialRetrySecondsRowKey));
      settings_.Write(kDialWaitSecondsRowKey, Text(list, kDialWaitSecondsRowKey));
      settings_.WriteBool(kDialRotateRowKey, Text(list, kDialRotateRowKey) == OnOffText(true));
      break;
    case kTransfer:
      settings_.Write(kChannelCountRowKey, Text(list, kChannelCountRowKey));
      settings_.Write(kTransferRepeatsRowKey, Text(list, kTransferRepeatsRowKey));
      settings_.Write(kTransferWaitRowKey, Text(list, kTransferWaitRowKey));
      settings_.Write(kTransferTimeoutKey, Text(list, kTransferWaitRowKey));
      settings_.WriteNumber(kIntensityKey, intensity_);
      break;
    case kLimits:
      for (const OptionRow& r : rows) {
        settings_.WriteBool(kLimitOnKeyPrefix + r.key, r.checked);
        settings_.Write(kLimitValueKeyPrefix + r.key, r.value);
      }
      break;
    case kEndActions:
      for (const OptionRow& r : rows) settings_.WriteBool(kEndActionKeyPrefix + r.key, r.checked);
      settings_.WriteNumber(kAutoScriptKey, autoScript_ ? 1 : 0);
      break;
    default: throw std::out_of_range("no option list");
  }
}

void ScriptParameters::ApplyList(int list) {
  switch (list) {
    case kSwitches: {
      if (!dialUpUsable_) MutableRow(list, "p_dial").checked = false;
      auto mark = [&](const char* key) { return Switch(key) ? std::string("1") : std::string(); };
      exchange_.WriteRecord(kRecFrameMark, mark("p_frames"));
      exchange_.WriteRecord(kRecRefetchExisting, mark("p_refresh"));
      exchange_.WriteRecord(kRecEmbeddedMark, mark("p_allfrom"));
      exchange_.WriteRecord(kRecTextFileNames, mark("p_textnames"));
      exchange_.WriteRecord(kRecSimilarHosts, mark("p_analog"));
      break;
    }
    case kConnection: {
      OptionRow& t = MutableRow(list, kDialRetrySecondsRowKey);
      t.value = Clamped(t.value, {1, 480});
      OptionRow& w = MutableRow(list, kDialWaitSecondsRowKey);
      w.value = Clamped(w.value, {1, 480});
      OptionRow& rep = MutableRow(list, kDialRotateRowKey);
      if (rep.value != OnOffText(true)) rep.value = OnOffText(false);
      break;
    }
    case kTransfer: {
      OptionRow& c = MutableRow(list, kChannelCountRowKey);
      c.value = Clamped(c.value, {1, 20});
      OptionRow& r = MutableRow(list, kTransferRepeatsRowKey);
      r.value = Clamped(r.value, {1, 99});
      OptionRow& w = MutableRow(list, kTransferWaitRowKey);
      w.value = Clamped(w.value, {10, 480});
      ApplyIntensityText();
      exchange_.WriteRecord(kRecRetryLimit, r.value);
      settings_.Write(kTransferTimeoutKey, w.value);
      settings_.WriteNumber(kIntensityKey, intensity_);
      break;
    }
    case kLimits: {
      static const std::pair<const char*, Range> kRanges[] = {
          {kDepthLimitRowKey, {1, 99}}, {kAddressLimitRowKey, {1, 99999}}, {kVolumeLimitRowKey, {1, 9999999}}, {kOnlineLimitRowKey, {1, 999}}};
      for (const auto& [key, range] : kRanges) {
        OptionRow& r = MutableRow(list, key);
        r.value = Clamped(r.value, range);
      }
      break;
    }
    case kEndActions: {
      // The turn-off action exists only on the 9x family, and only together with closing.
      OptionRow& off = MutableRow(list, kShutDownAtEndRowKey);
      if (!(Switch(kCloseAtEndRowKey) && platformId_ <= 1)) off.checked = false;
      break;
    }
    default: throw std::out_of_range("no option list");
  }
}

void ScriptParameters::LoadScriptMode() {
  long long m = settings_.ReadNumber(kScriptModeKey, 0);
  scriptMode_ = (m >= 0 && m <= 3) ? static_cast<int>(m) : 0;
}

void ScriptParameters::LoadAll() {
  LoadCategories();
  LoadList(kSwitches);
  LoadList(kConnection);
  LoadList(kTransfer);
  LoadList(kLimits);
  LoadList(kEndActions);
}

void ScriptParameters::SaveAll() {
  SaveCategories();
  for (int list = kSwitches; list <= kEndActions; ++list) SaveList(list);
}

void ScriptParameters::ToggleOption(int list, int row) {
  OptionRow& r = lists_.at(list).at(row - 1);
  if (!r.hasCheck) return;
  r.checked = !r.checked;
  ApplyList(list);
}

void ScriptParameters::EditOptionValue(int list, int row, const std::string& text) {
  OptionRow& r = lists_.at(list).at(row - 1);
  if (!r.hasValue) return;
  if (r.key == kDialEntryRowKey) {
    r.value = text;
  } else if (r.key == kDialRotateRowKey) {
    r.value = text == OnOffText(true) ? OnOffText(true) : OnOffText(false);
  } else if (r.key == kIntensityRowKey) {
    for (int i = 0; i <= kMaxIntensity; ++i)
      if (text == IntensityCaption(i)) ChooseIntensity(i);
    return;
  } else {
    r.value = FilterNumericText(text, kOptionFieldHighest);
  }
  ApplyList(list);
}

void ScriptParameters::ChooseDialEntry(const std::string& name) {
  MutableRow(kConnection, kDialEntryRowKey).value = name;
  ApplyList(kConnection);
}

void ScriptParameters::ChooseRepeater(bool on) {
  MutableRow(kConnection, kDialRotateRowKey).value = OnOffText(on);
  ApplyList(kConnection);
}

void ScriptParameters::ApplyIntensityText() { MutableRow(kTransfer, kIntensityRowKey).value = IntensityCaption(intensity_); }

void ScriptParameters::ChooseIntensity(int intensity) {
  if (intensity < 0 || intensity > kMaxIntensity) return;
  intensity_ = intensity;
  settings_.WriteNumber(kIntensityKey, intensity_);
  ApplyIntensityText();
}

void ScriptParameters::ChooseScriptMode(int mode, RunStatus* status) {
  if (mode < 0 || mode > 3) return;
  scriptMode_ = mode;
  settings_.WriteNumber(kScriptModeKey, mode);
  if (status) status->Show(3, ScriptModeDescription(mode));
}

void ScriptParameters::ToggleAutoScript() { autoScript_ = !autoScript_; }

std::string ScriptParameters::AutoScriptTooltip() const {
  return autoScript_ ? Ru("Отключить автоподбор сценария") : Ru("Включить автоподбор сценария");
}

}  // namespace orv
