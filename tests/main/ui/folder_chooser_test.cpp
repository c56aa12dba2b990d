// The folder chooser window, driven as a user drives it.
#include "main/ui/folder_chooser.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/support/temp_folder.h"

namespace orv {
namespace {

using collection::FolderChoiceMode;

QLineEdit* NameField(FolderChooser& chooser, FolderChoiceMode mode) {
  for (QLineEdit* e : chooser.findChildren<QLineEdit*>())
    if (e->accessibleName() == QString::fromUtf8(collection::NewFolderPrompt(mode))) return e;
  return nullptr;
}

QPushButton* Button(FolderChooser& chooser, const char* name) {
  for (QPushButton* b : chooser.findChildren<QPushButton*>())
    if (b->accessibleName() == QString::fromUtf8(name)) return b;
  return nullptr;
}

bool ShowsText(FolderChooser& chooser, const char* text) {
  for (QLabel* l : chooser.findChildren<QLabel*>())
    if (l->text() == QString::fromUtf8(text)) return true;
  return false;
}

TEST(FolderChooser, EachModeShowsItsPrompts) {
  for (FolderChoiceMode mode : {FolderChoiceMode::CollectionRoot, FolderChoiceMode::ConversionTarget}) {
    FolderChooser chooser(mode, "/");
    EXPECT_EQ(chooser.windowTitle(), QString::fromUtf8("Выбор папки"));
    EXPECT_TRUE(ShowsText(chooser, collection::FolderChoicePrompt(mode)));
    EXPECT_TRUE(ShowsText(chooser, collection::NewFolderPrompt(mode)));
    EXPECT_NE(NameField(chooser, mode), nullptr);
  }
  QStringList places = FolderChooser::Places();
  EXPECT_TRUE(places.contains(QDir::homePath()));
  EXPECT_TRUE(places.contains("/"));
}

TEST(FolderChooser, NewFolderNameRefusesEachForbiddenCharacter) {
  orvtest::TempFolder dir;
  FolderChooser chooser(FolderChoiceMode::ConversionTarget, dir.Dir());
  QStringList messages;
  chooser.SetMessageShower([&](const QString& text) { messages << text; });
  QLineEdit* name = NameField(chooser, FolderChoiceMode::ConversionTarget);
  ASSERT_NE(name, nullptr);
  const QString forbidden = ":/\\?*|<>";
  for (QChar c : forbidden) {
    name->clear();
    QTest::keyClicks(name, QString("ab") + c + "c");
    EXPECT_EQ(name->text(), "abc") << QString(c).toStdString();
  }
  ASSERT_EQ(messages.size(), forbidden.size());
  for (const QString& m : messages) EXPECT_EQ(m, QString::fromUtf8("Имя папки не может содержать символы:  /\\?*|><"));
}

TEST(FolderChooser, EnterCreatesTheFolderWhichIsThenChosenWithATrailingSlash) {
  orvtest::TempFolder dir;
  FolderChooser chooser(FolderChoiceMode::CollectionRoot, dir.Dir());
  EXPECT_EQ(chooser.CurrentFolder(), QDir::cleanPath(QString::fromStdString(dir.Dir())));
  // The places list shows the place holding the folder.
  QComboBox* places = chooser.findChild<QComboBox*>();
  ASSERT_NE(places, nullptr);
  EXPECT_TRUE(chooser.CurrentFolder().startsWith(places->currentText()));
  QLineEdit* name = NameField(chooser, FolderChoiceMode::CollectionRoot);
  ASSERT_NE(name, nullptr);
  chooser.show();
  // Enter in the name field creates the folder and leaves the window open on it.
  QTest::keyClicks(name, "Sites 2026");
  QTest::keyClick(name, Qt::Key_Return);
  const std::string made = dir.Dir() + "Sites 2026";
  EXPECT_TRUE(QDir(QString::fromStdString(made)).exists());
  EXPECT_TRUE(chooser.isVisible());
  EXPECT_EQ(chooser.result(), QDialog::Rejected);
  EXPECT_EQ(chooser.Chosen(), "");
  EXPECT_EQ(chooser.CurrentFolder(), QString::fromStdString(made));
  QTest::mouseClick(Button(chooser, "Выбрать"), Qt::LeftButton);
  EXPECT_EQ(chooser.result(), QDialog::Accepted);
  EXPECT_EQ(chooser.Chosen(), made + "/");
}

}  // namespace
}  // namespace orv
