#include "main/lists/fragment_lists.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "tests/main/lists/lists_folder.h"

namespace orv {
namespace {

using lists_testing::Counted;
using lists_testing::ListsFolder;

class ExclusionListTest : public ::testing::Test {
 protected:
  ListsFolder folder;
  ExclusionList list{folder.Dir()};
};

TEST_F(ExclusionListTest, TorvcessHoldsOnlyTheCheckedKeysInOrder) {
  ASSERT_TRUE(list.Add("alpha"));
  ASSERT_TRUE(list.Add("banner"));
  ASSERT_TRUE(list.Add("gamma"));
  list.SetChecked(1, true);
  EXPECT_EQ(folder.Read("torvcess"), Counted("1") + Counted("banner"));
  EXPECT_EQ(list.Active(), std::vector<std::string>{"banner"});

  list.Invert();
  EXPECT_EQ(folder.Read("torvcess"), Counted("2") + Counted("alpha") + Counted("gamma"));
  list.CheckAll();
  EXPECT_EQ(list.Active(), (std::vector<std::string>{"alpha", "banner", "gamma"}));
  list.UncheckAll();
  EXPECT_EQ(folder.Read("torvcess"), Counted("0"));
}

TEST_F(ExclusionListTest, EmptyOrUncheckedListWritesTheSingleRecordZero) {
  list.Load();  // no orvcess: empty list, torvcess still written
  EXPECT_EQ(list.Size(), 0u);
  EXPECT_EQ(folder.Read("torvcess"), Counted("0"));

  list.Add("one");
  list.Add("two");
  list.FocusChanged();
  EXPECT_EQ(folder.Read("torvcess"), Counted("0"));
}

TEST_F(ExclusionListTest, DeletingTheCheckedEntryRewritesTorvcess) {
  list.Add("ads");
  list.Add("track");
  list.SetChecked(0, true);
  list.SetChecked(1, true);
  list.Select(0);
  list.DeleteSelected();
  EXPECT_EQ(folder.Read("torvcess"), Counted("1") + Counted("track"));
  ASSERT_EQ(list.Size(), 1u);

  ExclusionList none(folder.Dir());
  none.DeleteSelected();  // no selection: nothing happens
  EXPECT_EQ(none.Size(), 0u);
}

TEST_F(ExclusionListTest, AddingRefusesDuplicatesAndSelectsTheNewEntry) {
  EXPECT_TRUE(list.Add("banner"));
  EXPECT_TRUE(list.Add("http://x.ru/a.gif"));
  EXPECT_EQ(list.Selected(), 1);
  EXPECT_FALSE(list.Add("BANNER"));  // the list control's keys ignore letter case
  EXPECT_FALSE(list.Add(""));
  // A key no list record can hold would make the whole file unwritable.
  const std::string huge(70000, 'a');
  EXPECT_FALSE(list.Add(huge));
  ASSERT_TRUE(list.BeginEdit(0));
  EXPECT_FALSE(list.FinishEdit(huge));
  EXPECT_EQ(list.Entries()[0].key, "banner");
  EXPECT_TRUE(list.Save());
  EXPECT_EQ(list.Size(), 2u);
  EXPECT_FALSE(list.Entries()[1].checked);
  EXPECT_EQ(list.Entries()[1].text, "http://x.ru/a.gif");
}

TEST_F(ExclusionListTest, EmptyEntriesAreNumberedAndFreedNumbersReused) {
  EXPECT_EQ(list.AddEmpty(), 0);
  EXPECT_EQ(list.AddEmpty(), 1);
  EXPECT_EQ(list.Entries()[0].key, Ru("Фрагмент_1"));
  EXPECT_EQ(list.Entries()[1].key, Ru("Фрагмент_2"));
  EXPECT_EQ(list.Entries()[1].text, Ru("Фрагмент_2"));
  EXPECT_EQ(list.Editing(), -1);  // the exclusion list does not open the label for editing

  list.Select(0);
  list.DeleteSelected();
  EXPECT_EQ(list.AddEmpty(), 1);
  EXPECT_EQ(list.Entries()[1].key, Ru("Фрагмент_1"));
}

TEST_F(ExclusionListTest, EmptyEntriesStopAtNumberTwentyThousand) {
  std::vector<std::string> records;
  for (int n = 1; n < 20000; ++n) records.push_back(Ru("Фрагмент_") + std::to_string(n));
  list.Fill(records);
  EXPECT_EQ(list.AddEmpty(), 19999);
  EXPECT_EQ(list.Entries().back().key, Ru("Фрагмент_20000"));
  EXPECT_EQ(list.AddEmpty(), -1);
  EXPECT_EQ(list.Size(), 20000u);
}

TEST_F(ExclusionListTest, CheckedEntriesRefuseRenaming) {
  list.Add("old");
  list.SetChecked(0, true);
  EXPECT_FALSE(list.BeginEdit(0));
  EXPECT_EQ(list.Entries()[0].key, "old");

  list.SetChecked(0, false);
  ASSERT_TRUE(list.BeginEdit(0));
  EXPECT_TRUE(list.FinishEdit("  newer  "));
  EXPECT_EQ(list.Entries()[0].key, "newer");
  EXPECT_EQ(list.Entries()[0].text, "newer");
}

TEST_F(ExclusionListTest, RenameRevertsOnShortOrDuplicateLabels) {
  list.Add("first");
  list.Add("second");
  ASSERT_TRUE(list.BeginEdit(1));
  EXPECT_FALSE(list.FinishEdit("  x  "));  // trimmed length 1
  EXPECT_EQ(list.Entries()[1].key, "second");
  EXPECT_EQ(list.Entries()[1].text, "second");

  ASSERT_TRUE(list.BeginEdit(1));
  EXPECT_FALSE(list.FinishEdit("First"));  // another entry's key
  EXPECT_EQ(list.Entries()[1].key, "second");

  ASSERT_TRUE(list.BeginEdit(1));
  EXPECT_TRUE(list.FinishEdit("Second"));  // its own key in other letter case is no duplicate
  EXPECT_EQ(list.Entries()[1].key, "Second");

  EXPECT_FALSE(list.FinishEdit("whatever"));  // no edit in progress
  EXPECT_EQ(list.Entries()[0].key, "first");
}

TEST_F(ExclusionListTest, StoredMarksSurviveSaveAndLoad) {
  list.Add("plain");
  list.Add("active");
  list.SetChecked(1, true);
  ASSERT_TRUE(list.Save());
  EXPECT_EQ(folder.Read("orvcess"), Counted("2") + Counted("plain") + Counted(" active"));

  ExclusionList again(folder.Dir());
  again.Load();
  ASSERT_EQ(again.Size(), 2u);
  EXPECT_FALSE(again.Entries()[0].checked);
  EXPECT_TRUE(again.Entries()[1].checked);
  EXPECT_EQ(again.Entries()[1].key, "active");
  EXPECT_EQ(again.Active(), std::vector<std::string>{"active"});
  EXPECT_EQ(folder.Read("torvcess"), Counted("1") + Counted("active"));
}

TEST_F(ExclusionListTest, LoadingTrimsKeysAndSkipsEmptyAndRepeatedRecords) {
  // A key that itself began with a blank loses it (and reads as checked); an empty record
  // would match every address and a repeated one cannot stand in the list.
  folder.Write("orvcess", Counted("4") + Counted("  spaced") + Counted("   ") + Counted("bare") +
                              Counted("BARE"));
  list.Load();
  ASSERT_EQ(list.Size(), 2u);
  EXPECT_EQ(list.Entries()[0].key, "spaced");
  EXPECT_TRUE(list.Entries()[0].checked);
  EXPECT_EQ(list.Entries()[1].key, "bare");
  EXPECT_FALSE(list.Entries()[1].checked);
}

TEST_F(ExclusionListTest, LoadingATruncatedFileKeepsWhatCanBeRead) {
  folder.Write("orvcess", Counted("3") + Counted(" one") + std::string("\x09\x00tw", 4));
  list.Load();
  ASSERT_EQ(list.Size(), 1u);
  EXPECT_EQ(list.Entries()[0].key, "one");
}

TEST(ExclusionMatch, IgnoresLetterCaseIncludingCyrillic) {
  const std::vector<std::string> active{"banner", Ru("реклама")};
  EXPECT_TRUE(MatchesExclusion("http://x.ru/BANNER/a.gif", active));
  EXPECT_TRUE(MatchesExclusion(Ru("http://x.ru/РЕКЛАМА.htm"), active));
  EXPECT_FALSE(MatchesExclusion("http://x.ru/ban/a.gif", active));
  EXPECT_FALSE(MatchesExclusion("http://x.ru/banner", {}));
}

TEST(ExclusionMatch, AWriteFailureIsIgnoredAndTheActiveSetStillBuilt) {
  ExclusionList list("/nonexistent-orv-folder/");
  list.Add("abc");
  list.SetChecked(0, true);
  EXPECT_EQ(list.Active(), std::vector<std::string>{"abc"});
  EXPECT_TRUE(list.Excludes("http://h.ru/ABC"));
}

TEST(TrackListTest, EmptyEntriesStartAtZeroAndOpenForEditing) {
  ListsFolder folder;
  TrackList list(folder.Dir());
  EXPECT_EQ(list.AddEmpty(), 0);
  EXPECT_EQ(list.Entries()[0].key, "http://sample_0/");
  EXPECT_EQ(list.Editing(), 0);
  EXPECT_TRUE(list.FinishEdit("http://www.site.ru/docs/"));
  EXPECT_EQ(list.AddEmpty(), 1);
  EXPECT_EQ(list.Entries()[1].key, "http://sample_0/");
  EXPECT_EQ(list.AddEmpty(), 2);
  EXPECT_EQ(list.Entries()[2].key, "http://sample_1/");
  EXPECT_FALSE(folder.Exists("torvcess"));  // the track list stays inside the program

  ASSERT_TRUE(list.Save());
  TrackList again(folder.Dir());
  again.Load();
  EXPECT_EQ(again.Size(), 3u);
  EXPECT_EQ(again.Entries()[0].key, "http://www.site.ru/docs/");
}

TEST(TrackMatch, TwoPlainTracksAdmitOnlyAddressesContainingBoth) {
  const std::vector<std::string> tracks{"news", "2024"};
  const std::vector<std::string> bases{"site."};
  EXPECT_TRUE(PassesTracks("http://site.ru/NEWS/2024/a.htm", tracks, bases));
  EXPECT_FALSE(PassesTracks("http://site.ru/news/2023/a.htm", tracks, bases));
  EXPECT_FALSE(PassesTracks("http://site.ru/blog/2024/a.htm", tracks, bases));
  EXPECT_TRUE(PassesTracks("http://anything/", {}, bases));
}

TEST(TrackMatch, ASiteTrackAdmitsExactlyItsFolder) {
  const std::vector<std::string> tracks{"http://www.site.ru/docs/"};
  const std::vector<std::string> bases{"site."};
  EXPECT_TRUE(PassesTracks("http://www.site.ru/docs/index.html", tracks, bases));
  EXPECT_TRUE(PassesTracks("http://www.site.ru/DOCS/a/b.gif", tracks, bases));
  EXPECT_FALSE(PassesTracks("http://www.site.ru/doc/x.htm", tracks, bases));
  EXPECT_FALSE(PassesTracks("http://www.site.ru/", tracks, bases));
  EXPECT_FALSE(PassesTracks("http://www.other.ru/img/x.gif", tracks, bases));
  // The track path starts after the first "/" past the scheme: it is the folder alone, so the
  // same folder on a sibling host follows the track too.
  EXPECT_TRUE(PassesTracks("http://img.site.ru/docs/a.gif", tracks, bases));
  // Without a "/" past the scheme a site track has no path and filters nothing.
  EXPECT_TRUE(PassesTracks("http://img.site.ru/a.gif", {"http://www.site.ru"}, bases));
}

TEST(TrackMatch, ASiteTrackOfAnotherSiteDoesNotApply) {
  // The track names a site the run does not cover: it never applies, so it rejects nothing.
  const std::vector<std::string> tracks{"http://www.other.ru/docs/"};
  EXPECT_TRUE(PassesTracks("http://www.site.ru/a.htm", tracks, {"site."}));
  // It applies as soon as any scope record covers its site.
  EXPECT_FALSE(PassesTracks("http://www.site.ru/a.htm", tracks, {"site.", "other."}));
}

TEST(TrackMatch, PlainTrackBeforeASiteTrackStillRejects) {
  const std::vector<std::string> tracks{"print", "http://www.site.ru/docs/"};
  EXPECT_FALSE(PassesTracks("http://www.site.ru/docs/a.htm", tracks, {"site."}));
  EXPECT_TRUE(PassesTracks("http://www.site.ru/docs/print.htm", tracks, {"site."}));
}

}  // namespace
}  // namespace orv
