#include "main/collection/bookmark_file.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "common/numbers.h"
#include "common/string_list.h"
#include "common/text.h"

namespace orv {
namespace {

constexpr int kFields = 6;
using Fields = std::array<std::string, kFields>;

bool ReadRecord(std::string_view data, std::size_t& pos, Fields& fields) {
  for (auto& field : fields) {
    if (!ReadCountedString(data, pos, field)) return false;
  }
  return true;
}

int ImageNumber(std::string_view text) {
  long long n = LeadingInt(text);
  if (n < 0 || n > 1000) return 0;  // no icon list holds more; a bad number shows none
  return static_cast<int>(n);
}

}  // namespace

std::vector<BookmarkRecord> ParseBookmarkRecords(std::string_view data, bool* whole) {
  if (whole) *whole = true;
  std::vector<BookmarkRecord> records;
  if (data.size() < kMinBookmarkFileSize) return records;
  std::size_t pos = 0;
  Fields fields;
  if (!ReadRecord(data, pos, fields)) {
    if (whole) *whole = false;
    return records;
  }
  long long count = LeadingInt(fields[3]);
  for (long long i = 1; i <= count; ++i) {
    if (!ReadRecord(data, pos, fields)) {
      if (whole) *whole = false;
      break;
    }
    BookmarkRecord r;
    r.parentKey = std::move(fields[0]);
    r.key = std::move(fields[1]);
    r.text = std::move(fields[2]);
    r.tag = std::move(fields[3]);
    r.image = ImageNumber(fields[4]);
    r.selectedImage = ImageNumber(fields[5]);
    records.push_back(std::move(r));
  }
  return records;
}

std::string EncodeBookmarkRecords(const std::vector<BookmarkRecord>& records) {
  std::string body;
  std::size_t count = 0;
  for (const auto& r : records) {
    std::string one;
    bool ok = AppendCountedString(one, r.parentKey) && AppendCountedString(one, r.key) &&
              AppendCountedString(one, r.text) && AppendCountedString(one, r.tag) &&
              AppendCountedString(one, DecimalText(r.image)) &&
              AppendCountedString(one, DecimalText(r.selectedImage));
    if (!ok) continue;
    body += one;
    ++count;
  }
  std::string out;
  AppendCountedString(out, "");
  AppendCountedString(out, "");
  AppendCountedString(out, "");
  AppendCountedString(out, DecimalText(static_cast<long long>(count)));
  AppendCountedString(out, "");
  AppendCountedString(out, "");
  return out + body;
}

std::vector<BookmarkRecord> LoadBookmarkFile(const std::string& collectionRoot, DamagedFile* damage) {
  if (damage) *damage = {};
  std::error_code ec;
  std::filesystem::remove(collectionRoot + std::string(kOldBookmarkFileName), ec);
  const std::string path = collectionRoot + std::string(kBookmarkFileName);
  std::string data;
  if (!ReadWholeFile(path, data)) return {};
  bool whole = true;
  std::vector<BookmarkRecord> records = ParseBookmarkRecords(data, &whole);
  if (!whole && damage) *damage = {path, SetFileAside(path)};
  return records;
}

bool SaveBookmarkFile(const std::string& collectionRoot, const std::vector<BookmarkRecord>& records) {
  std::string path = collectionRoot + std::string(kBookmarkFileName);
  if (records.empty()) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return !ec;
  }
  return WriteFileAtomically(path, EncodeBookmarkRecords(records));
}

}  // namespace orv
