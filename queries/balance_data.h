#pragma once

#include <cstdint>

#include "queries/badge_record.h"
#include "sql/session.h"

namespace zx {

// Reads the badge's balance row and formats TswW02..TswW16 ("%6.6s%s",
// "+" shown as a blank) and TswF01..TswF10 ("%-20s") into the record. A
// value of more than six characters or a text of more than 20 is cut to
// that width, as the displays show them, and marked in CutDisplayTexts.
// Returns the code: 0 filled, 1403 no row, other an SQL error (record
// unchanged unless 0).
int32_t ReadBalanceData(SqlSession& session, BadgeRecord& record);

}  // namespace zx
