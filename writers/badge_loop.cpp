#include "writers/badge_loop.h"

namespace zx {

void SayBadgeNumberDoesNotFit(Diagnostics& diagnostics, const BadgeRecord& record) {
  BadgeNumberFits(diagnostics, record);
}

}  // namespace zx
