// Feeds arbitrary bytes to the bookmark file reader. Besides crashes and undefined
// behaviour it checks that a corrupt file never yields more records than its bytes can
// hold, and that what was read is written back and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "main/collection/bookmark_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<orv::BookmarkRecord> records = orv::ParseBookmarkRecords(bytes);
  // Six length fields of two bytes each per record, record 0 included.
  Check(records.size() * 12 + 12 <= size || records.empty());
  for (const auto& r : records) {
    Check(r.image >= 0 && r.selectedImage >= 0);
  }
  std::string again = orv::EncodeBookmarkRecords(records);
  if (!records.empty()) Check(orv::ParseBookmarkRecords(again) == records);
  return 0;
}
