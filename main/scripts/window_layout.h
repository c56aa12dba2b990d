#pragma once
// The window's layout values as start-up restores them and shutdown saves them (sizes in
// twips, as stored), with the two menu and search values kept beside them. A front end
// without a control keeps the value it was given, so it is saved unchanged.

#include <string>

namespace orv {

class WindowLayout {
 public:
  virtual ~WindowLayout() = default;

  // Help windows opened by the program (closed at start and before saving settings).
  virtual void CloseHelpWindows() = 0;

  virtual void SetMaximized(bool maximized) = 0;  // maxok
  virtual bool IsMaximized() const = 0;
  virtual void SetWindowSize(int widthTwips, int heightTwips) = 0;  // WI, mehey
  virtual int WindowWidth() const = 0;
  virtual int WindowHeight() const = 0;
  virtual void SetLowerSplitter(int twips) = 0;  // wespl
  virtual int LowerSplitter() const = 0;
  virtual void SetTreeSplitter(int twips) = 0;  // TRSPV
  virtual int TreeSplitter() const = 0;
  virtual void SetBrowserSplitter(int twips) = 0;  // BRSPH
  virtual int BrowserSplitter() const = 0;
  virtual void ArrangePanes() = 0;

  // Menu option "Активный Курсор" (mdtxa).
  virtual void SetActiveCursorMenu(bool checked) = 0;
  virtual bool ActiveCursorMenu() const = 0;

  // The two size fields of the collection search (DFVX, DFVY).
  virtual void SetSearchSizeFields(const std::string& x, const std::string& y) = 0;
  virtual std::string SearchSizeFieldX() const = 0;
  virtual std::string SearchSizeFieldY() const = 0;
};

}  // namespace orv
