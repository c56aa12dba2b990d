// What a run resumes from after it ended without its write-back: the journal beside the
// script, and the links of the pages it finds complete in the collection.
#include <gtest/gtest.h>

#include "main/run/run_journal.h"
#include "main/run/saved_page_links.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

TEST(RunJournalTest, KeepsEveryAddressOnceAndDropsALineCutByACrash) {
  orvtest::TempFolder tmp{"orvjournal"};
  const std::string path = tmp.Dir() + "orvef0.journal";
  orvtest::WriteWholeFile(path, "S http://old.test/\n+ http://old.test/gone.html\n");
  {
    RunJournal j;
    ASSERT_TRUE(j.Begin(path, "http://a.test/", {"", "http://a.test/", "http://a.test/x.html"}));
    j.Added("http://a.test/y.html");
    j.HandedOut("http://a.test/");
    j.Added("http://a.test/x.html");           // already there: read once
    j.Added("http://a.test/bad\nline.html");   // would read as two records: not journaled
    j.Sync(100);
    // The program dies here: no Close, no Remove. The records are in the file already.
    const RunJournal::Contents c = RunJournal::Read(path);
    ASSERT_TRUE(c.present);
    EXPECT_EQ(c.start, "http://a.test/");
    EXPECT_EQ(c.addresses, (std::vector<std::string>{"http://a.test/", "http://a.test/x.html", "http://a.test/y.html"}))
        << "begun whole: the older journal is replaced, not continued";
    EXPECT_EQ(c.handedOut, std::vector<std::string>{"http://a.test/"});
  }
  // A last record without its newline was being written when the program died.
  std::string bytes = orvtest::ReadWholeFile(path);
  orvtest::WriteWholeFile(path, bytes + "+ http://a.test/cu");
  EXPECT_EQ(RunJournal::Read(path).addresses.size(), 3u);

  RunJournal j;
  ASSERT_TRUE(j.Begin(path, "http://a.test/", {""}));
  j.Remove();
  EXPECT_FALSE(RunJournal::Read(path).present) << "a run written back leaves no journal";
  EXPECT_FALSE(j.Begin(tmp.Dir() + "no/such/folder/orvef0.journal", "http://a.test/", {""}));
}

TEST(SavedPageLinksTest, RewrittenLocalLinksAreAddressesAgain) {
  const std::string coll = "/c/orvcollections/";
  const std::string page = coll + "site.test,8,,x23A8080/docs/index.html";
  const std::string text =
      "<a href=\"a.html\">a</a> <A HREF = 'sub/b.html#top'>b</A> <img src=../img/c%20d.gif>"
      "<link href=\"../../other.test/x.css\"> <a href=\"sub/\">folder</a>"
      "<a href=\"http://far.test/p.html\">far</a> <a href=\"mailto:x@y.test\">m</a>"
      "<a href=\"#here\">f</a> <a href=\"../../../outside.html\">out</a> <a href=\"a.html\">again</a>"
      "<style>body { background: url( 'bg.png' ) }</style>";
  EXPECT_EQ(SavedPageLinks(text, page, coll),
            (std::vector<std::string>{"http://site.test:8080/docs/a.html", "http://site.test:8080/docs/sub/b.html",
                                      "http://site.test:8080/img/c%20d.gif", "http://other.test/x.css",
                                      "http://site.test:8080/docs/sub/index.html", "http://far.test/p.html",
                                      "http://site.test:8080/docs/bg.png"}));
  // A site fetched over https keeps its scheme.
  const auto https = [](const std::string&) { return std::string("https"); };
  EXPECT_EQ(SavedPageLinks("<a href=\"a.html\">", page, coll, https),
            std::vector<std::string>{"https://site.test:8080/docs/a.html"});
}

}  // namespace
}  // namespace orv
