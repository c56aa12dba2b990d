#include "common/exchange.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/numbers.h"
#include "common/string_list.h"

namespace orv {
namespace {

// Unbuffered streams: every read goes to the file, so a read after the other
// process's write sees it, and every write is in the file when the call returns.
bool OpenUnbuffered(std::fstream& f, const std::string& path) {
  f.rdbuf()->pubsetbuf(nullptr, 0);
  f.open(path, std::ios::in | std::ios::out | std::ios::binary);
  return f.is_open();
}

// The records carry the proxy with its credentials: the files are the owner's alone, and
// files left with wider rights by an earlier version are narrowed.
bool EnsureOwnerOnlyFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    if (!std::filesystem::is_regular_file(path, ec)) return false;
  } else {
    std::ofstream f(path, std::ios::binary | std::ios::app);
    if (!f) return false;
  }
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::replace, ec);
  return true;
}

void AppendInt32(std::string& out, int32_t v) {
  auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

}  // namespace

bool ExchangeFiles::Open(const std::string& exchangeFolder, bool create) {
  Close();
  std::string folder = exchangeFolder;
  if (folder.empty()) return false;
  if (folder.back() != '/') folder.push_back('/');
  const std::string names[3] = {kOrvExt, kOrvInt, kOrvUrl};
  if (create) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    // Everything in it (records, lists, logs) names addresses with their credentials.
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace, ec);
    for (const auto& n : names) {
      if (!EnsureOwnerOnlyFile(folder + n)) return false;
    }
  }
  if (!OpenUnbuffered(ext_, folder + kOrvExt) || !OpenUnbuffered(int_, folder + kOrvInt) ||
      !OpenUnbuffered(url_, folder + kOrvUrl)) {
    Close();
    return false;
  }
  folder_ = folder;
  return true;
}

bool ExchangeFiles::IsOpen() const { return ext_.is_open() && int_.is_open() && url_.is_open(); }

void ExchangeFiles::Close() {
  for (std::fstream* f : {&ext_, &int_, &url_}) {
    if (f->is_open()) f->close();
    f->clear();
  }
  folder_.clear();
}

bool ExchangeFiles::ReadAt(std::fstream& f, std::streamoff offset, char* buf, std::size_t n,
                           std::size_t& got) {
  got = 0;
  if (!f.is_open()) return false;
  f.clear();
  f.seekg(offset);
  if (!f) {
    f.clear();
    return false;
  }
  f.read(buf, static_cast<std::streamsize>(n));
  got = static_cast<std::size_t>(f.gcount());
  f.clear();
  return true;
}

bool ExchangeFiles::WriteAt(std::fstream& f, std::streamoff offset, std::string_view bytes) {
  if (!f.is_open()) return false;
  f.clear();
  f.seekp(offset);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.flush();
  bool ok = static_cast<bool>(f);
  f.clear();
  return ok;
}

std::string ExchangeFiles::ReadExt(int record) { return TryReadExt(record).value_or(std::string()); }

std::optional<std::string> ExchangeFiles::TryReadExt(int record) {
  if (record < 1 || record > kMaxExtRecord) return std::nullopt;
  std::streamoff offset = static_cast<std::streamoff>(record - 1) * kExtRecordLength;
  char buf[kExtRecordLength];
  std::size_t got = 0;
  if (!ReadAt(ext_, offset, buf, kExtRecordLength, got)) return std::nullopt;
  if (got == 0) return std::string();  // past the end: never written, empty
  if (got < 2) return std::nullopt;
  std::size_t len = static_cast<unsigned char>(buf[0]) |
                    (static_cast<std::size_t>(static_cast<unsigned char>(buf[1])) << 8);
  if (len > static_cast<std::size_t>(kMaxExtValue) || got - 2 < len) return std::nullopt;
  return std::string(buf + 2, len);
}

bool ExchangeFiles::WriteExt(int record, std::string_view value) {
  if (record < 1 || record > kMaxExtRecord) return false;
  if (value.size() > static_cast<std::size_t>(kMaxExtValue)) return false;
  std::string bytes;
  AppendCountedString(bytes, value);
  return WriteAt(ext_, static_cast<std::streamoff>(record - 1) * kExtRecordLength, bytes);
}

long long ExchangeFiles::ReadExtNumber(int record) { return LeadingInt(ReadExt(record)); }

bool ExchangeFiles::EncodeChannel(const ChannelRecord& record, std::string& out) {
  std::string bytes;
  bool ok = AppendCountedString(bytes, record.url) && AppendCountedString(bytes, record.statusText) &&
            AppendCountedString(bytes, record.sizeText);
  if (!ok) return false;
  AppendInt32(bytes, record.stopButton);
  AppendCountedString(bytes, "");
  if (!AppendCountedString(bytes, record.resumable)) return false;
  if (bytes.size() > static_cast<std::size_t>(kIntRecordLength)) return false;
  out = std::move(bytes);
  return true;
}

ChannelRecord ExchangeFiles::DecodeChannel(std::string_view recordBytes) {
  if (recordBytes.size() > static_cast<std::size_t>(kIntRecordLength)) {
    recordBytes = recordBytes.substr(0, kIntRecordLength);
  }
  ChannelRecord r;
  std::size_t pos = 0;
  if (!ReadCountedString(recordBytes, pos, r.url)) return {};
  if (!ReadCountedString(recordBytes, pos, r.statusText) ||
      !ReadCountedString(recordBytes, pos, r.sizeText)) {
    return r;
  }
  if (recordBytes.size() - pos < 4) return r;
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i) {
    u |= static_cast<uint32_t>(static_cast<unsigned char>(recordBytes[pos + static_cast<std::size_t>(i)]))
         << (8 * i);
  }
  r.stopButton = static_cast<int32_t>(u);
  pos += 4;
  if (!ReadCountedString(recordBytes, pos, r.reserved)) return r;
  ReadCountedString(recordBytes, pos, r.resumable);
  return r;
}

ChannelRecord ExchangeFiles::ReadChannel(int n) {
  if (n < 1 || n > kChannels) return {};
  char buf[kIntRecordLength];
  std::size_t got = 0;
  if (!ReadAt(int_, static_cast<std::streamoff>(n - 1) * kIntRecordLength, buf, kIntRecordLength, got)) {
    return {};
  }
  return DecodeChannel(std::string_view(buf, got));
}

bool ExchangeFiles::WriteChannel(int n, const ChannelRecord& record) {
  if (n < 1 || n > kChannels) return false;
  std::string bytes;
  if (!EncodeChannel(record, bytes)) return false;
  return WriteAt(int_, static_cast<std::streamoff>(n - 1) * kIntRecordLength, bytes);
}

bool ExchangeFiles::ClearChannels() {
  bool ok = true;
  for (int n = 1; n <= kChannels; ++n) ok = WriteChannel(n, ChannelRecord{}) && ok;
  return ok;
}

std::vector<std::string> ExchangeFiles::ReadUrlList() {
  // Read in growing steps until the elements the count names are complete: after one huge
  // list the file keeps its size, and a short list must not cost a read of the stale tail.
  std::string bytes;
  std::size_t want = 4096;
  std::streamoff offset = 0;
  for (;;) {
    std::string block(want - bytes.size(), '\0');
    std::size_t got = 0;
    if (!ReadAt(url_, offset, block.data(), block.size(), got)) return {};
    bytes.append(block.data(), got);
    offset += static_cast<std::streamoff>(got);
    if (got < block.size()) break;  // the end of the file
    std::size_t need = StringArrayExtent(bytes);
    if (need <= bytes.size()) break;
    want = std::max(need, bytes.size() * 2);
  }
  return ParseStringArray(bytes);
}

bool ExchangeFiles::WriteUrlList(const std::vector<std::string>& elements) {
  std::string bytes;
  if (!EncodeStringArray(elements, bytes)) return false;
  return WriteAt(url_, 0, bytes);
}

std::vector<std::string> LinkListElements(const std::vector<std::string>& links) {
  return CountedList(links);
}

std::vector<std::string> MarkerMessageElements(std::string_view marker, std::string_view address) {
  std::string message(marker);
  message.append(address);
  return {StrText(2), std::move(message)};
}

}  // namespace orv
