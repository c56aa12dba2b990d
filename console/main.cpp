// kuvet: the download console. No window; the main program drives it through the exchange files
// and the published buttons.
#include <QCoreApplication>

#include "console/console.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  orv::SingleInstanceLock lock("kuvet");
  if (!lock.Acquired()) return 0;
  orv::console::Console console;
  if (!console.Start()) return 0;
  return QCoreApplication::exec();
}
