// Who asks the credential server for what: the service manager binds the
// socket it connects from to the abstract address
// "\0<random hex>/unit/<unit name>/<credential id>", so the address names
// the unit the credential is for and the credential's id. Both are held to
// the manager's own rules for such names before anything else is looked at.
#ifndef SRC_MISC_SERVE_REQUESTER_H_
#define SRC_MISC_SERVE_REQUESTER_H_

#include <string>

struct Requester {
  std::string unit;  // "app.service", "worker@eu.service"
  std::string id;    // the credential's id in the unit's LoadCredential= line
};

// Reads `address`, the raw bound address of the peer, into `requester`.
// False, with `reason` naming what is wrong, for any other form: not an
// abstract address, no random part, a unit name or id the manager would
// not make (a '/', "..", a character outside its set, too long).
[[nodiscard]] bool ReadRequester(const std::string& address, Requester& requester,
                                 std::string& reason);

#endif  // SRC_MISC_SERVE_REQUESTER_H_
