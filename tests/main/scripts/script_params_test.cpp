// Script parameters: defaults, stored values, clamping, coupling and the records sent on.

#include <gtest/gtest.h>

#include "common/exchange.h"
#include "common/text.h"
#include "main/scripts/script_params.h"
#include "tests/main/fake_main_window.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace orv {
namespace {

class ParamsTest : public ::testing::Test {
 protected:
  testing::MemorySettings store;
  testing::RecordingSink sink;
  ScriptParameters params{store, sink};
};

TEST_F(ParamsTest, EmptyStoreGivesTheDefaults) {
  params.LoadAll();
  const CategoryRecord& html = params.Category(1);
  EXPECT_TRUE(html.enabled);
  EXPECT_EQ(html.zone, Ru("Сайт"));
  EXPECT_FALSE(html.countLimit);
  EXPECT_EQ(html.counter, 15);
  EXPECT_FALSE(html.minLimit);
  EXPECT_FALSE(html.maxLimit);
  EXPECT_EQ(html.minLenght, 0);
  EXPECT_EQ(html.maxLenght, 1000);
  EXPECT_EQ(html.extend, ".html.cgi.php.chm.shtm");
  EXPECT_EQ(params.Category(2).extend, ".gif.jpg.jfif.png.ipx.bmp.webp.avif.svg.ico");
  EXPECT_EQ(params.Category(8).extend, "");
  EXPECT_EQ(params.CategoryRowAt(4).caption, Ru("Видео"));

  for (const OptionRow& r : params.List(kSwitches)) EXPECT_EQ(r.checked, r.key == "p_media") << r.key;
  EXPECT_EQ(params.Value(kConnection, "pc_time"), 30);
  EXPECT_EQ(params.Value(kConnection, "pc_wait"), 300);
  EXPECT_EQ(params.Text(kConnection, "pc_repeater"), Ru("Выкл."));
  EXPECT_EQ(params.Value(kTransfer, "pc_count"), 20);
  EXPECT_EQ(params.Text(kTransfer, "pc_freq"), Ru("Высокая"));
  EXPECT_EQ(params.Value(kTransfer, "pc_repeat"), 5);
  EXPECT_EQ(params.Value(kTransfer, "pc_connecta"), 300);
  for (const OptionRow& r : params.List(kLimits)) {
    EXPECT_FALSE(r.checked);
    EXPECT_EQ(r.value, "15");
  }
  for (const OptionRow& r : params.List(kEndActions)) EXPECT_FALSE(r.checked);
  EXPECT_FALSE(params.AutoScript());
  EXPECT_EQ(params.Intensity(), 0);

  // The apply steps told the console: frames, refetch, embedded marks off; 5 retries.
  EXPECT_EQ(sink.records.at(FrameMark), "");
  EXPECT_EQ(sink.records.at(RefetchExisting), "");
  EXPECT_EQ(sink.records.at(EmbeddedMark), "");
  EXPECT_EQ(sink.records.at(RetryLimit), "5");
  EXPECT_EQ(store.Get("RQQM"), "300");
}

TEST_F(ParamsTest, StoredValuesAreReadAndClampedOnApply) {
  store.Set("k3Counter", "40");
  store.Set("k3CountLimit", "True");
  store.Set("k3Enabled", "False");
  store.Set("k3Extend", ".ogg");
  store.Set("k3Zone", Ru("Сеть"));
  store.Set("k5Extend", "");  // empty keeps the built-in list
  store.Set("pc_time", "900");
  store.Set("pc_wait", "0");
  store.Set("pc_count", "55");
  store.Set("pc_repeat", "-3");
  store.Set("pc_connecta", "5");
  store.Set("intens", "7");
  store.Set("t3pc_urovn", "100");
  store.Set("t3pc_values", "abc");
  store.Set("c3pc_ssilk", "True");
  store.Set("p_frames", "True");
  store.Set("p_refresh", "true");
  store.Set("p_allfrom", "yes");  // unreadable: default
  store.Set("p_media", "False");
  store.Set("autoscript", "1");
  params.LoadAll();

  const CategoryRecord& c = params.Category(3);
  EXPECT_EQ(c.counter, 40);
  EXPECT_TRUE(c.countLimit);
  EXPECT_FALSE(c.enabled);
  EXPECT_EQ(c.extend, ".ogg");
  EXPECT_EQ(c.zone, Ru("Сеть"));
  EXPECT_EQ(params.Category(5).extend, ".txt.doc");

  EXPECT_EQ(params.Text(kConnection, "pc_time"), "480");
  EXPECT_EQ(params.Text(kConnection, "pc_wait"), "1");
  EXPECT_EQ(params.Text(kTransfer, "pc_count"), "20");
  EXPECT_EQ(params.Text(kTransfer, "pc_repeat"), "1");
  EXPECT_EQ(params.Text(kTransfer, "pc_connecta"), "10");
  EXPECT_EQ(params.Intensity(), 0);
  EXPECT_EQ(params.Text(kLimits, "pc_urovn"), "99");
  EXPECT_EQ(params.Text(kLimits, "pc_values"), "1");
  EXPECT_TRUE(params.Switch("pc_ssilk"));
  EXPECT_FALSE(params.Switch("p_media"));
  EXPECT_FALSE(params.Switch("p_allfrom"));
  EXPECT_TRUE(params.AutoScript());

  EXPECT_EQ(sink.records.at(FrameMark), "1");
  EXPECT_EQ(sink.records.at(RefetchExisting), "1");
  EXPECT_EQ(sink.records.at(EmbeddedMark), "");
  EXPECT_EQ(sink.records.at(RetryLimit), "1");
  EXPECT_EQ(store.Get("RQQM"), "10");
}

TEST_F(ParamsTest, SaveWritesEveryKeyAndLoadReadsItBack) {
  params.LoadAll();
  params.ToggleCategoryEnabled(2);
  params.EditExtensions(2, ".gif");
  params.ChooseZone(2, Ru("Папка"));
  params.ToggleCountLimit(2);
  params.EditCount(2, "77");
  params.ToggleMaxLimit(2);
  params.EditMaxSize(2, "500");
  params.EditMinSize(2, "20");
  params.ToggleOption(kSwitches, 2);  // p_analog
  params.ChooseRepeater(true);
  params.ChooseDialEntry("dsl");
  params.ChooseIntensity(2);
  params.EditOptionValue(kLimits, 2, "1234");
  params.ToggleOption(kEndActions, 4);  // pc_delscript
  params.ToggleAutoScript();
  params.SaveAll();

  EXPECT_EQ(store.Get("k2Enabled"), "False");
  EXPECT_EQ(store.Get("k2Counter"), "77");
  EXPECT_EQ(store.Get("k2MinLimit"), "True");
  EXPECT_EQ(store.Get("k2MaxLenght"), "500");
  EXPECT_EQ(store.Get("pc_repeater"), "True");
  EXPECT_EQ(store.Get("intens"), "2");
  EXPECT_EQ(store.Get("t3pc_ssilk"), "1234");
  EXPECT_EQ(store.Get("c4pc_delscript"), "True");
  EXPECT_EQ(store.Get("autoscript"), "1");
  // Categories first, list 4 with autoscript last.
  EXPECT_LT(store.WriteIndex("k8Zone"), store.WriteIndex("p_dial"));
  EXPECT_LT(store.WriteIndex("t3pc_inline"), store.WriteIndex("c4pc_disconn"));

  testing::RecordingSink sink2;
  ScriptParameters again(store, sink2);
  again.LoadAll();
  const CategoryRecord& c = again.Category(2);
  EXPECT_FALSE(c.enabled);
  EXPECT_EQ(c.extend, ".gif");
  EXPECT_EQ(c.zone, Ru("Папка"));
  EXPECT_TRUE(c.countLimit);
  EXPECT_EQ(c.counter, 77);
  EXPECT_TRUE(c.minLimit && c.maxLimit);
  EXPECT_EQ(c.minLenght, 20);
  EXPECT_EQ(c.maxLenght, 500);
  EXPECT_TRUE(again.Switch("p_analog"));
  EXPECT_EQ(again.Text(kConnection, "pc_repeater"), Ru("Вкл."));
  EXPECT_EQ(again.Text(kConnection, "pc_connect"), "dsl");
  EXPECT_EQ(again.Intensity(), 2);
  EXPECT_EQ(again.Text(kTransfer, "pc_freq"), Ru("Низкая"));
  EXPECT_EQ(again.Value(kLimits, "pc_ssilk"), 1234);
  EXPECT_TRUE(again.Switch("pc_delscript"));
  EXPECT_TRUE(again.AutoScript());
}

TEST_F(ParamsTest, SizeLimitsAreCoupled) {
  params.LoadAll();
  // Checking either size column checks both.
  params.ToggleMinLimit(4);
  EXPECT_TRUE(params.Category(4).minLimit);
  EXPECT_TRUE(params.Category(4).maxLimit);
  params.ToggleMaxLimit(4);
  EXPECT_FALSE(params.Category(4).minLimit);
  EXPECT_FALSE(params.Category(4).maxLimit);

  params.EditMaxSize(1, "3");
  params.EditMinSize(1, "5");  // not below the maximum: maximum := minimum + 1
  EXPECT_EQ(params.Category(1).minLenght, 5);
  EXPECT_EQ(params.Category(1).maxLenght, 6);
  EXPECT_EQ(params.CategoryRowAt(1).maxText, "6");

  params.EditMaxSize(1, "1");  // below 2: minimum := maximum
  EXPECT_EQ(params.Category(1).minLenght, 1);
  EXPECT_EQ(params.Category(1).maxLenght, 1);

  params.EditMinSize(2, "300");
  params.EditMaxSize(2, "100");  // minimum above the new maximum: minimum := maximum - 1
  EXPECT_EQ(params.Category(2).minLenght, 99);
  EXPECT_EQ(params.Category(2).maxLenght, 100);
  params.EditMaxSize(2, "150");  // minimum below: unchanged
  EXPECT_EQ(params.Category(2).minLenght, 99);

  // The bounds reach the console only while the size limit is on.
  EXPECT_EQ(params.SizeBoundsBytes(2), (std::pair<std::string, std::string>{"0", "0"}));
  params.ToggleMaxLimit(2);
  EXPECT_EQ(params.SizeBoundsBytes(2), (std::pair<std::string, std::string>{"101376", "153600"}));
}

TEST_F(ParamsTest, ForAllCopiesTheCurrentRowsZone) {
  params.LoadAll();
  params.ChooseZone(3, Ru("Сеть"));
  params.ChooseZone(5, Ru("Папка"));
  params.ChooseZone(3, Ru("Для всех"));
  for (int c = 1; c <= kCategoryCount; ++c) EXPECT_EQ(params.Category(c).zone, Ru("Сеть")) << c;
  EXPECT_EQ(ZoneChoices().size(), 4u);
}

TEST(NumericFilter, LettersSignsAndTheUpperBound) {
  EXPECT_EQ(FilterNumericText("12"), "12");
  EXPECT_EQ(FilterNumericText("12a"), "12");       // the typed letter goes at once
  EXPECT_EQ(FilterNumericText("a"), "0");
  EXPECT_EQ(FilterNumericText(""), "0");
  EXPECT_EQ(FilterNumericText("1a2"), "0");        // still not a number after one removal
  EXPECT_EQ(FilterNumericText("99999"), "32767");
  EXPECT_EQ(FilterNumericText("-45"), "45");       // whole number without sign
  EXPECT_EQ(FilterNumericText("7.9"), "7");
  EXPECT_EQ(FilterNumericText("123456789012345678901234"), "32767");
}

TEST_F(ParamsTest, NumericEditsGoThroughTheFilterAndClamp) {
  params.LoadAll();
  params.EditCount(6, "99999");
  EXPECT_EQ(params.CategoryRowAt(6).countText, "32767");
  EXPECT_EQ(params.Category(6).counter, 32767);
  params.EditOptionValue(kTransfer, 1, "7x");
  EXPECT_EQ(params.Value(kTransfer, "pc_count"), 7);
  params.EditOptionValue(kTransfer, 3, "150");
  EXPECT_EQ(params.Text(kTransfer, "pc_repeat"), "99");
  EXPECT_EQ(sink.records.at(RetryLimit), "99");
  params.EditOptionValue(kTransfer, 4, "20000");
  EXPECT_EQ(params.Text(kTransfer, "pc_connecta"), "480");
  EXPECT_EQ(store.Get("RQQM"), "480");
  // The option lists take their own ranges, beyond the category fields' 32767.
  params.EditOptionValue(kLimits, 2, "99999");
  EXPECT_EQ(params.Text(kLimits, "pc_ssilk"), "99999");
  params.EditOptionValue(kLimits, 3, "9999999");
  EXPECT_EQ(params.Text(kLimits, "pc_values"), "9999999");
  params.EditOptionValue(kLimits, 3, "123456789");
  EXPECT_EQ(params.Text(kLimits, "pc_values"), "9999999");
  params.EditOptionValue(kLimits, 1, "40000");
  EXPECT_EQ(params.Text(kLimits, "pc_urovn"), "99");
  params.EditOptionValue(kTransfer, 2, Ru("Средняя"));
  EXPECT_EQ(params.Intensity(), 1);
  EXPECT_EQ(store.Get("intens"), "1");
}

TEST_F(ParamsTest, MaximumIntensityIsStoredAsThreeAndReadBack) {
  params.LoadAll();
  params.EditOptionValue(kTransfer, 2, Ru("Максимальная"));
  EXPECT_EQ(params.Intensity(), 3);
  EXPECT_EQ(store.Get("intens"), "3");
  ScriptParameters again(store, sink);
  again.LoadAll();
  EXPECT_EQ(again.Text(kTransfer, "pc_freq"), Ru("Максимальная"));
  store.Set("intens", "4");  // beyond the four: the default again
  again.LoadAll();
  EXPECT_EQ(again.Intensity(), 0);
}

TEST_F(ParamsTest, SwitchesWriteTheirRecordsWhenToggled) {
  params.LoadAll();
  sink.order.clear();
  params.ToggleOption(kSwitches, 3);  // p_frames
  EXPECT_EQ(sink.records.at(FrameMark), "1");
  params.ToggleOption(kSwitches, 5);  // p_allfrom
  EXPECT_EQ(sink.records.at(EmbeddedMark), "1");
  params.ToggleOption(kSwitches, 3);
  EXPECT_EQ(sink.records.at(FrameMark), "");
  EXPECT_EQ(sink.records.at(TextFileNames), "");
  params.ToggleOption(kSwitches, 11);  // p_textnames, "Имена файлов в тексте"
  EXPECT_EQ(sink.records.at(TextFileNames), "1");
  // "Похожие адреса" tells the console which hosts a rendered page's scripts may reach.
  EXPECT_EQ(sink.records.at(SimilarHosts), "");
  params.ToggleOption(kSwitches, 2);  // p_analog
  EXPECT_EQ(sink.records.at(SimilarHosts), "1");
  EXPECT_FALSE(store.Has("p_textnames"));  // stored with the others at shutdown
  params.SaveAll();
  EXPECT_EQ(store.Get("p_textnames"), "True");
  EXPECT_FALSE(sink.order.empty());
}

TEST_F(ParamsTest, AutoDialNeedsAUsableEntry) {
  store.Set("p_dial", "True");
  params.LoadAll();
  EXPECT_FALSE(params.Switch("p_dial"));
  params.SetDialUpUsable(true);
  params.ToggleOption(kSwitches, 1);
  EXPECT_TRUE(params.Switch("p_dial"));
}

TEST(TurnOff, NeverStaysCheckedOnTheNtFamily) {
  testing::MemorySettings store;
  testing::RecordingSink sink;
  store.Set("c4pc_off", "True");
  store.Set("c4pc_close", "True");
  ScriptParameters nt(store, sink, 2);
  nt.LoadAll();
  EXPECT_FALSE(nt.Switch("pc_off"));
  nt.ToggleOption(kEndActions, 3);
  EXPECT_FALSE(nt.Switch("pc_off"));

  // The 9x family keeps it, but only together with "Закрыть".
  ScriptParameters old(store, sink, 1);
  old.LoadAll();
  EXPECT_TRUE(old.Switch("pc_off"));
  old.ToggleOption(kEndActions, 2);  // clear "Закрыть"
  EXPECT_FALSE(old.Switch("pc_off"));
}

TEST_F(ParamsTest, ScriptModeAndAutoScript) {
  store.Set("scrmode", "7");
  params.LoadScriptMode();
  EXPECT_EQ(params.ScriptMode(), 0);
  store.Set("scrmode", "3");
  params.LoadScriptMode();
  EXPECT_EQ(params.ScriptMode(), 3);

  testing::FakeMainWindow window;
  params.ChooseScriptMode(2, &window.status);
  EXPECT_EQ(params.ScriptMode(), 2);
  EXPECT_EQ(store.Get("scrmode"), "2");
  EXPECT_EQ(window.StatusPanel(3), Ru("Нерасширяемый режим: - Не допускает расширение сценариев в процессе "
                                      "скачивания\n - Адреса скачанных файлов удаляются"));

  EXPECT_EQ(params.AutoScriptTooltip(), Ru("Включить автоподбор сценария"));
  params.ToggleAutoScript();
  EXPECT_EQ(params.AutoScriptTooltip(), Ru("Отключить автоподбор сценария"));
}

}  // namespace
}  // namespace orv
