#include "main/collection/help_compiler.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace orv::collection {

namespace {

bool FileExists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string FindProgramOnPath(std::string_view program, std::string_view searchPath) {
  std::size_t start = 0;
  while (start <= searchPath.size()) {
    std::size_t colon = searchPath.find(':', start);
    if (colon == std::string_view::npos) colon = searchPath.size();
    std::string folder(searchPath.substr(start, colon - start));
    if (folder.empty()) folder = ".";  // an empty entry is the working folder
    std::string path = folder + "/" + std::string(program);
    if (FileExists(path) && ::access(path.c_str(), X_OK) == 0) return path;
    start = colon + 1;
  }
  return {};
}

std::string ProjectForChmcmd(std::string_view project, const std::string& projectFolder,
                             const std::function<bool(const std::string&)>& exists) {
  std::string out;
  out.reserve(project.size());
  bool inFiles = false;
  std::size_t start = 0;
  while (start < project.size()) {
    std::size_t nl = project.find('\n', start);
    std::size_t end = nl == std::string_view::npos ? project.size() : nl + 1;
    std::string_view line = project.substr(start, end - start);
    start = end;
    std::string_view text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    std::string_view eol = line.substr(text.size());
    if (!text.empty() && text.front() == '[') inFiles = text == "[Files]";
    if (!inFiles || text.empty() || text.front() != '/') {
      out += line;
      continue;
    }
    std::string full(text);
    if (!exists(full)) continue;
    std::string relative;
    if (full.compare(0, projectFolder.size(), projectFolder) == 0) {
      relative = full.substr(projectFolder.size());
    } else {
      relative = std::filesystem::path(full).lexically_relative(projectFolder).string();
      if (relative.empty()) relative = full;
    }
    out += relative;
    out += eol;
  }
  return out;
}

int CompileWithChmcmd(const std::string& projectPath, const std::string& chmcmd) {
  std::ifstream in(projectPath, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "hhc: cannot read %s\n", projectPath.c_str());
    return 2;
  }
  std::string project((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string folder = std::filesystem::path(projectPath).parent_path().string() + "/";
  std::string adapted = ProjectForChmcmd(project, folder, FileExists);

  // Beside the original, so the relative names and the contents file resolve the same way.
  std::string temp = folder + ".chmcmd-XXXXXX.hhp";
  int fd = ::mkstemps(temp.data(), 4);
  if (fd < 0) {
    std::fprintf(stderr, "hhc: cannot write a project in %s\n", folder.c_str());
    return 2;
  }
  bool written = ::write(fd, adapted.data(), adapted.size()) == static_cast<ssize_t>(adapted.size());
  ::close(fd);
  if (!written) {
    ::unlink(temp.c_str());
    return 2;
  }
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(folder.c_str()) != 0) _exit(127);
    std::vector<char*> argv{const_cast<char*>(chmcmd.c_str()), temp.data(), nullptr};
    ::execvp(argv[0], argv.data());
    std::fprintf(stderr, "hhc: cannot start %s\n", chmcmd.c_str());
    _exit(127);
  }
  int status = 0;
  int code = 127;
  if (pid > 0) {
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  ::unlink(temp.c_str());
  return code;
}

}  // namespace orv::collection
