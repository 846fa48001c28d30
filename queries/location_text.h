#pragma once

#include <cstdint>

#include "queries/badge_record.h"
#include "sql/session.h"

namespace zx {

// Puts the first 3 characters of the badge's location short text into
// record.StoKtx. Returns the SQLCODE: 0 found, 1403 no valid location,
// negative on error (record unchanged unless 0).
int32_t ReadLocationText(SqlSession& session, BadgeRecord& record);

}  // namespace zx
