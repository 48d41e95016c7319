#include "platform/codepage/windows_casing.h"

#include <algorithm>

#include "platform/codepage/tables/nls_tables.h"

namespace tarvik::codepage::detail {

char16_t windows_upper(char16_t unit) {
  const auto runs = upper_case_runs();
  // The last run that starts at or before `unit`.
  const auto after = std::upper_bound(runs.begin(), runs.end(), unit,
                                      [](char16_t value, const CaseRun& run) { return value < run.first; });
  if (after == runs.begin()) return unit;
  const CaseRun& run = *(after - 1);
  if (unit > run.last || (unit - run.first) % run.step != 0) return unit;
  return static_cast<char16_t>(unit + run.delta);
}

}  // namespace tarvik::codepage::detail
