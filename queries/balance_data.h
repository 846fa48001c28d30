#pragma once

#include <cstdint>

#include "queries/badge_record.h"
#include "sql/session.h"

namespace zx {

// Reads the badge's balance row and formats TswW02..TswW16 ("%6.6s%s",
// "+" shown as a blank) and TswF01..TswF10 ("%-20s") into the record.
// Returns the code: 0 filled, 1403 no row, other an SQL error (record
// unchanged unless 0).
int32_t ReadBalanceData(SqlSession& session, BadgeRecord& record);

}  // namespace zx
