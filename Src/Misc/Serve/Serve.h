// SERVE, the serve command: the credential server a service manager
// starts on demand. On the listening socket it is handed (socket
// activation), each connection is one credential asked for a unit: the
// peer must be the manager itself (root, as the system vouches), bound to
// "\0<hex>/unit/<unit>/<id>"; the grant file must give that unit that id;
// then the value is read afresh from its store, unattended, sent as it is
// and the connection closed. A refusal sends nothing. Every request leaves
// a log line with the unit, the id and the outcome, never a value. Nothing
// read is kept from one request to the next.
#ifndef SRC_MISC_SERVE_SERVE_H_
#define SRC_MISC_SERVE_SERVE_H_

#include <cstdint>
#include <mutex>
#include <string>

#include "Src/Misc/Common/CommandFrame.h"
#include "Src/Misc/Serve/Requester.h"
#include "suite/platform/ActivatedSocket.h"

class SERVE : public CommandFrame {
 public:
  SERVE() : CommandFrame("serve") {}

 protected:
  [[nodiscard]] uint32_t RunCommand() override;

 private:
  // Answers one connection: the value, or nothing.
  void Answer(platform::Connection& connection);
  // Stores in `value` the credential `requester` asks for when it is
  // granted and stored; false, with `reason`, otherwise.
  [[nodiscard]] bool LookUp(const Requester& requester, std::string& value, std::string& reason);

  // The store library and the configuration, one request at a time.
  std::mutex store_mutex;
};

#endif  // SRC_MISC_SERVE_SERVE_H_
