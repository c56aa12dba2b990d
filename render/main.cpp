// orvrend: the console's page renderer. Reads "render" frames on its standard input, renders
// each page in the browser engine (several at once) and writes a "page" frame for each on its
// standard output. Ends when its input ends. "--selftest" renders one built-in page and tells
// by its exit status whether the engine can run here at all.
#include <QGuiApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "render/page_renderer.h"
#include "render/render_protocol.h"

#if defined(__SANITIZE_ADDRESS__)
// The engine's allocator frees some of its objects with a size AddressSanitizer does not
// expect (a report from inside the engine); the rest stays checked.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
#endif

namespace {

// No display, no GPU, and (as root, where Chromium refuses its sandbox) no sandbox: the
// software path a server or a CI machine can run.
void PrepareEngineEnvironment() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  for (const char* flag : {"--disable-gpu", "--disable-gpu-compositing", "--disable-software-rasterizer",
                           "--mute-audio", "--disable-notifications", "--no-first-run"}) {
    if (!flags.contains(flag)) flags += QByteArray(" ") + flag;
  }
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

int SelfTest(QGuiApplication& app) {
  int status = 1;
  orv::render::PageRenderer renderer([&](const orv::render::RenderReply& reply) {
    status = reply.outcome == orv::render::RenderOutcome::Rendered &&
                     reply.html.find("made-by-script") != std::string::npos
                 ? 0
                 : 1;
    std::fprintf(stderr, "orvrend: %s\n", status == 0 ? "the engine renders" : reply.reason.c_str());
    app.quit();
  });
  orv::render::RenderRequest request;
  request.id = 1;
  request.address = "http://127.0.0.1:9/";
  request.body = "<!DOCTYPE html><html><body><script>"
                 "document.body.appendChild(document.createTextNode('made-' + 'by-script'));</script></body></html>";
  request.quietMs = 100;
  request.maxMs = 10000;
  renderer.Render(request);
  app.exec();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  PrepareEngineEnvironment();
  QGuiApplication app(argc, argv);
  if (argc > 1 && std::string(argv[1]) == "--selftest") return SelfTest(app);

  orv::render::PageRenderer renderer([](const orv::render::RenderReply& reply) {
    if (!WriteAll(STDOUT_FILENO, orv::render::EncodeFrame(orv::render::ToFrame(reply)))) QCoreApplication::exit(1);
  });
  orv::render::FrameReader reader;
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
    char buffer[65536];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
      // The console is gone or closed the pipe: nothing more will be asked.
      input.setEnabled(false);
      QCoreApplication::quit();
      return;
    }
    reader.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
    orv::render::Frame frame;
    for (;;) {
      const auto status = reader.Next(frame);
      if (status == orv::render::FrameReader::Status::NeedMore) return;
      if (status == orv::render::FrameReader::Status::Broken) {
        std::fprintf(stderr, "orvrend: the input is not in the console's format\n");
        QCoreApplication::exit(2);
        return;
      }
      if (std::optional<orv::render::RenderRequest> request = orv::render::RequestFromFrame(frame)) {
        renderer.Render(*request);
      }
    }
  });
  return app.exec();
}
