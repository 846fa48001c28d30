#include "queries/badge_record.h"

namespace zx {

void ClearBadgeRecord(BadgeRecord& record) {
  // Value-initialisation sets every byte of every field to zero.
  record = BadgeRecord{};
}

}  // namespace zx
