// Dates as the databases of the benchmarks store them: text
// "YYYY-MM-DD HH:MM:SS" in local time, counted in days from today.
#pragma once

#include <ctime>
#include <string>

namespace zx::bench {

// "YYYY-MM-DD HH:MM:SS" (local time, as the database stores dates) of the
// day `days` from today at midnight.
inline std::string DateFromToday(int days) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  local.tm_mday += days;
  local.tm_hour = 12;  // away from daylight-saving edges
  local.tm_min = 0;
  local.tm_sec = 0;
  local.tm_isdst = -1;
  std::mktime(&local);
  char text[32];
  if (std::strftime(text, sizeof text, "%Y-%m-%d 00:00:00", &local) == 0) return {};
  return text;
}

}  // namespace zx::bench
