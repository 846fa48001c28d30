// Owners of the libpq handles: a connection and a result are freed exactly
// once, on every path.
#pragma once

#include <libpq-fe.h>

#include <memory>

namespace zx::pg {

struct ConnDeleter {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using ConnPtr = std::unique_ptr<PGconn, ConnDeleter>;
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

}  // namespace zx::pg
