#pragma once
// The option pages of the main window: "Настройки" (switches, transfer, run limits, end-of-run
// actions, script mode, automatic script choice), "Категории" (the category table) and "Сеть"
// (connection list, page encoding, connection mode). Every control edits ScriptParameters
// through the operation named after the user's action and shows the model back; nothing is
// read back from a widget.
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QTableWidget;
class QTreeWidget;

namespace orv {

class ScriptParameters;
class ProgramModel;
class ConnectionControl;

// One option list as a two-column list view: caption (with its check box) and value. A click
// on a value cell opens the row's editor; Enter or leaving it applies the list.
class OptionListView final : public QWidget {
 public:
  OptionListView(ScriptParameters& params, int list, const QString& title,
                 std::function<std::vector<std::string>()> dialEntries = {}, QWidget* parent = nullptr);
  void Refresh();
  QTreeWidget* View() const { return view_; }

 private:
  ScriptParameters& params_;
  int list_;
  QTreeWidget* view_;
  bool refreshing_ = false;
};

// "Категории": six columns side by side; row r of every column belongs to category r.
class CategoriesPage final : public QWidget {
 public:
  explicit CategoriesPage(ScriptParameters& params, QWidget* parent = nullptr);
  void Refresh();
  QTableWidget* Table() const { return table_; }

 private:
  ScriptParameters& params_;
  QTableWidget* table_;
  bool refreshing_ = false;
};

// "Настройки": lists 0, 2, 3 and 4, the script mode buttons ScrMode and AutoScript.
class SettingsPage final : public QWidget {
 public:
  SettingsPage(ProgramModel& program, QWidget* parent = nullptr);
  void Refresh();
  OptionListView* List(int list) const;
  QButtonGroup* ScriptModes() const { return modes_; }
  QCheckBox* AutoScriptBox() const { return autoScript_; }

 private:
  ProgramModel& program_;
  std::vector<OptionListView*> lists_;
  QButtonGroup* modes_;
  QCheckBox* autoScript_;
};

// "Сеть": list 1 (connection), the page encoding and the connection mode.
class NetworkPage final : public QWidget {
 public:
  NetworkPage(ProgramModel& program, ConnectionControl& connection, std::function<bool()> running,
              QWidget* parent = nullptr);
  void Refresh();
  OptionListView* ConnectionList() const { return list_; }
  QComboBox* Encoding() const { return encoding_; }
  QCheckBox* NoCertificateCheck() const { return noCertCheck_; }
  QCheckBox* RenderPages() const { return renderPages_; }

 private:
  ProgramModel& program_;
  ConnectionControl& connection_;
  OptionListView* list_;
  QComboBox* encoding_;
  QButtonGroup* modes_;
  QCheckBox* noCertCheck_;
  QCheckBox* renderPages_;
};

}  // namespace orv
