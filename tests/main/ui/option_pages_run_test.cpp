// Settings chosen on the pages reach a real run: a depth limit set on "Настройки" and an
// exclusion added on "Списки" change what `orv --batch` and the console fetch.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

#include "main/lists/lists_model.h"
#include "main/scripts/exchange_sink.h"
#include "main/scripts/script_params.h"
#include "main/scripts/settings_store.h"
#include "main/ui/key_dispatcher.h"
#include "main/ui/lists_page.h"
#include "main/ui/option_pages.h"
#include "platform/settings.h"
#include "tests/support/http_test_server.h"
#include "tests/support/program_folder.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

class NoRecords final : public ExchangeSink {
 public:
  void WriteRecord(int, const std::string&) override {}
};

void Settle() {
  QApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
}

void TypeIntoEditor(QAbstractItemView* view, const QString& text) {
  Settle();
  auto* editor = view->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClick(editor, Qt::Key_Backspace);
  QTest::keyClicks(editor, text);
  QTest::keyClick(editor, Qt::Key_Return);
  Settle();
}

orvtest::Answer Page(std::string body) {
  orvtest::Answer a;
  a.headers = {"Content-Type: text/html"};
  a.body = std::move(body);
  return a;
}

TEST(OptionPagesRun, DepthLimitAndExclusionChosenOnThePagesShapeARealRun) {
  if (!fs::exists(fs::path(ORV_BIN_DIR) / "orv") || !fs::exists(fs::path(ORV_BIN_DIR) / "kuvet"))
    GTEST_SKIP() << "orv and kuvet are not built";
  orvtest::ProgramFolder prog;
  prog.UseLoopbackSites();
  orvtest::HttpTestServer site;
  site.Serve("/docs/index.html",
             Page("<html><a href=\"a.html\">a</a> <a href=\"sub/c.html\">c</a> <a href=\"ads.html\">ad</a></html>"));
  site.Serve("/docs/a.html", Page("<html>a</html>"));
  site.Serve("/docs/sub/c.html", Page("<html>c</html>"));
  site.Serve("/docs/ads.html", Page("<html>ad</html>"));

  {
    // "Уровни": checked, 2. Saved as the program saves at its end.
    PlatformSettings store;
    NoRecords records;
    ScriptParameters params(store, records);
    params.LoadAll();
    OptionListView limits(params, kLimits, "limits");
    limits.show();
    QTreeWidget* view = limits.View();
    view->topLevelItem(0)->setCheckState(0, Qt::Checked);
    view->setCurrentIndex(view->model()->index(0, 1));
    view->edit(view->model()->index(0, 1));
    TypeIntoEditor(view, "2");
    ASSERT_TRUE(params.Switch("pc_urovn"));
    ASSERT_EQ(params.Text(kLimits, "pc_urovn"), "2");
    params.SaveAll();

    // "Исключения": a new entry renamed to "/ads/" and checked.
    ListsModel lists(prog.Prog(), prog.Exchange());
    lists.LoadListFiles();
    KeyDispatcher keys;
    ListsPage page(lists, keys);
    page.show();
    page.MenuFor(page.Exclusions())->actions()[0]->trigger();
    Settle();
    page.Exclusions()->setCurrentRow(0);
    page.MenuFor(page.Exclusions())->actions()[2]->trigger();
    TypeIntoEditor(page.Exclusions(), "/docs/ads");
    page.Exclusions()->item(0)->setCheckState(Qt::Checked);
    Settle();
    ASSERT_EQ(lists.exclusions.Active(), std::vector<std::string>{"/docs/ads"});
    ASSERT_TRUE(lists.SaveListFiles());
  }

  const std::string out = prog.Root() + "out.txt";
  orvtest::ChildProcess child;
  ASSERT_TRUE(child.Start("/bin/sh", {"-c", "exec '" + prog.Prog() + "orv' --batch '" + site.Url("/docs/index.html") + "' > '" + out + "' 2>&1"},
                          prog.Prog(),
                          {{"HOME", prog.Root()},
                           {"XDG_CONFIG_HOME", prog.Config()},
                           {"ASAN_OPTIONS", "detect_leaks=0"},
                           {"QT_QPA_PLATFORM", "offscreen"}}));
  const int status = child.WaitExit(90000);
  ASSERT_EQ(status, 0) << orvtest::ReadWholeFile(out);
  EXPECT_EQ(site.Count("/docs/a.html"), 1u);
  EXPECT_EQ(site.Count("/docs/sub/c.html"), 0u) << "deeper than the limit chosen on the page";
  EXPECT_EQ(site.Count("/docs/ads.html"), 0u) << "excluded on the lists page";
}

}  // namespace
}  // namespace orv
