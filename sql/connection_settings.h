// What a session logs in with: the user, the password and the net service
// that names the database (and, by its form, the backend that reaches it).
#pragma once

#include <cstddef>
#include <string>

namespace zx {

struct ConnectionSettings {
  std::string user;
  std::string password;
  std::string netService;
  // False for a login that gives no password at all, not even an empty
  // one: the session refuses it as a wrong login (-1017).
  bool passwordGiven = true;

  // The length of the connect string these settings stand for: user, "/",
  // password, "@", net service (without the "/" when no password is given).
  // The system passes that text in a STRING of 101 bytes, so the session
  // refuses settings whose text would be longer than 100 characters.
  std::size_t ConnectStringLength() const {
    return user.size() + (passwordGiven ? 1 + password.size() : 0) + 1 + netService.size();
  }
};

}  // namespace zx
