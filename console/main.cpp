// kuvet: the download console. No window; the main program drives it through the exchange files
// and the published buttons.
#include <QCoreApplication>

#include "console/console.h"
#include "console/net_component.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  orv::SingleInstanceLock lock("kuvet");
  if (!lock.Acquired()) return 0;
  int rc = 0;
  {
    orv::console::Console console;
    if (!console.Start()) return 0;
    rc = QCoreApplication::exec();
  }
  // The channels are gone and their transfers told to stop; their threads end on their own.
  orv::console::NetComponent::WaitForWorkers(std::chrono::seconds(2));
  return rc;
}
