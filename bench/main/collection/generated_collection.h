#pragma once
// The generated collection the collection benchmarks share: 200 sites and 1,000,000 files, the
// first site ("www.large-site.ru") holding 100,000 of them. Generated once into
// ORV_BENCH_COLLECTION (default: a folder beside the benchmark program) and reused.

#include <string>

namespace orvbench {

inline constexpr int kSites = 200;
inline constexpr int kLargeSiteFiles = 100000;
inline constexpr int kTotalFiles = 1000000;

// The collection root (ending with "/"), generated on first use.
const std::string& GeneratedCollection();
std::string SiteName(int i);

}  // namespace orvbench
