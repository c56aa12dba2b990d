#include "main/collection/help_project.h"

#include <cstdio>
#include <fstream>

#include "common/text.h"

namespace orv::collection {

namespace {

constexpr std::string_view kEol = "\r\n";
constexpr std::size_t kTitleWindow = 4096;

std::string Line(std::string_view text) {
  std::string s(text);
  s += kEol;
  return s;
}

// One table-of-contents entry; local is left out when empty.
std::string Entry(std::string_view name, std::string_view local, std::string_view image) {
  std::string s = Line("<LI> <OBJECT type=\"text/sitemap\">");
  s += "<param name=\"Name\" value=\"";
  s += name;
  s += "\" > ";
  s += kEol;
  if (!local.empty()) {
    s += "<param name=\"Local\" value=\"";
    s += local;
    s += "\">";
    s += kEol;
  }
  s += "<param name=\"ImageNumber\" value=\"";
  s += image;
  s += "\"></OBJECT>";
  s += kEol;
  return s;
}

std::string BelowRoot(const std::string& root, const std::string& path) {
  if (path.size() > root.size() && path.compare(0, root.size(), root) == 0) return path.substr(root.size());
  return path;
}

// A name shown in the contents: a UTF-8 file name is written in the file's Windows-1251.
std::string NameText(std::string_view name) {
  return FileNameText(name, PageTextDecoder::Unmapped::NumericReference);
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::app);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  return !f.fail();
}

}  // namespace

bool IsHelpPageImage(int image) { return image == 7 || image == 10 || image == 24 || image == 27; }

std::string TitleOf(std::string_view head) {
  std::size_t open = FindNoCase(head, "<title>");
  if (open == std::string_view::npos) return {};
  open += 7;
  std::size_t close = FindNoCase(head, "</title>", open);
  if (close == std::string_view::npos) return {};
  return std::string(head.substr(open, close - open));
}

std::string ReadPageTitle(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  char buffer[kTitleWindow];
  std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
  std::fclose(f);
  // The contents file is Windows-1251: the title is read in the page's own charset.
  return TitleOf(PageHeadToCp1251(std::string_view(buffer, n)));
}

ChmTarget ChmTargetOf(std::string_view chosenPath) {
  ChmTarget t;
  std::size_t slash = chosenPath.rfind('/');
  std::string name;
  if (slash == std::string_view::npos) {
    name = std::string(chosenPath);
  } else {
    t.folder = std::string(chosenPath.substr(0, slash + 1));
    name = std::string(chosenPath.substr(slash + 1));
  }
  if (name.size() < 4 || LowerCase(name.substr(name.size() - 4)) != ".chm") name += ".chm";
  t.baseName = name.substr(0, name.size() - 4);
  return t;
}

std::string ProjectHead(const ChmTarget& target) {
  const std::string language = Ru("Language=0x419 Русский");
  std::string s;
  s += Line("[Options]");
  s += Line("Compatibility = 1.1 Or later");
  s += Line("Compiled file =" + target.CompiledFile());
  s += Line("Contents file=collection.hhc");
  s += Line("Enhanced decompilation=Yes");
  s += Line("Full-text search=Yes");
  s += Line(language);
  s += Line("Display compile progress=No");
  s += Line(language);
  s += kEol;
  s += kEol;
  s += Line("[Files]");
  return s;
}

std::string ContentsHead() {
  std::string s;
  s += Line("<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">");
  s += Line("<HTML><HEAD>");
  s += Line("<meta name=\"GENERATOR\" content=\"Microsoft&reg; HTML Help Workshop 4.1\">");
  s += Line("<META NAME=\"charset\" value=\"windows-1251\">");
  s += Line("<!-- Sitemap 1.0 -->");
  s += Line("</HEAD><BODY>");
  s += Line("<OBJECT type=\"text/site properties\">");
  s += Line("<param name=\"Window Styles\" value=\"0x800025\">");
  s += Line("<param name=\"ImageType\" value=\"Folder\">");
  s += Line("</OBJECT>");
  return s;
}

SiteBlock SiteBlockOf(const std::string& collectionRoot, const SiteFiles& site) {
  SiteBlock b;
  std::string& c = b.contents;
  c += Line("<UL>");
  c += Entry(NameText(site.folderName), {}, "1");
  c += kEol;
  c += Line("<UL>");
  std::vector<const SiteFileEntry*> others;
  for (const SiteFileEntry& file : site.files) {
    if (file.image <= 3 || file.image >= 45) continue;
    if (!IsHelpPageImage(file.image)) {
      others.push_back(&file);
      continue;
    }
    std::string title = ReadPageTitle(file.path);
    std::string shown = NameText(file.shownName);
    std::string name = title.empty() ? shown : title + " [" + shown + "]";
    c += Entry(name, BelowRoot(collectionRoot, file.path), "11");
    c += kEol;
    b.files += Line(file.path);
  }
  c += Line("</UL>");
  if (others.size() >= 2) {
    c += Line("<UL>");
    c += Entry("Other", {}, "5");
    c += Line("<UL>");
    for (const SiteFileEntry* file : others) c += Entry(NameText(file->shownName), BelowRoot(collectionRoot, file->path), "31");
    c += Line("</UL>");
    c += Line("</UL>");
  }
  c += Line("</UL>");
  c += kEol;
  c += Line("</BODY></HTML>");
  return b;
}

bool WriteHelpProject(const std::string& collectionRoot, const ChmTarget& target,
                      const std::vector<SiteFiles>& sites) {
  const std::string project = collectionRoot + kProjectFileName;
  const std::string contents = collectionRoot + kContentsFileName;
  std::remove(project.c_str());
  std::remove(contents.c_str());
  bool ok = AppendToFile(project, ProjectHead(target)) && AppendToFile(contents, ContentsHead());
  for (const SiteFiles& site : sites) {
    if (!ok) break;
    SiteBlock block = SiteBlockOf(collectionRoot, site);
    ok = AppendToFile(contents, block.contents) && AppendToFile(project, block.files);
  }
  return ok;
}

bool CanCreateFile(const std::string& path) {
  // A file already there is only opened for writing, never emptied or deleted.
  if (std::FILE* existing = std::fopen(path.c_str(), "rb")) {
    std::fclose(existing);
    std::FILE* f = std::fopen(path.c_str(), "ab");
    return f && std::fclose(f) == 0;
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool closed = std::fclose(f) == 0;
  return std::remove(path.c_str()) == 0 && closed;
}

}  // namespace orv::collection
