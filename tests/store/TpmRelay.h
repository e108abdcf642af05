// A stand-in between the TPM client and a SoftwareTpm, on two neighbouring
// loopback ports (commands, control on the next one): it forwards the first
// commands and then swallows some or all of the rest, reading them and never
// answering: a TPM that goes silent in the middle of a conversation. Runs on
// a thread of its own, stopped and joined on destruction.
#ifndef TESTS_STORE_TPMRELAY_H_
#define TESTS_STORE_TPMRELAY_H_

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class TpmRelay {
 public:
  // Forwards `commands` commands (connections to the command port that send
  // something) to the TPM on `tpm_port`, and the control port if
  // `control`, then swallows `swallowed` commands (-1: all the rest) and
  // forwards those after them. With tpm_port 0 nothing is forwarded.
  // `midway`, if given, is called on the relay's thread when the first
  // command past `commands` arrives, before that command is handled.
  TpmRelay(int tpm_port, int commands, bool control, int swallowed = -1,
           std::function<void()> midway = {});
  TpmRelay(const TpmRelay&) = delete;
  TpmRelay& operator=(const TpmRelay&) = delete;
  ~TpmRelay();

  // The TCTI loader string that reaches the TPM through the relay.
  std::string Tcti() const;

 private:
  struct Link {
    int client = -1;
    int tpm = -1;  // -1 while undecided or swallowed
    bool control = false;
    bool decided = false;
  };
  void Run();
  // Handles what came on `link`; false once it is over.
  bool Serve(Link& link, bool from_client);

  const int tpm_port;
  const int commands;
  const bool control;
  const int swallowed;
  const std::function<void()> midway;
  int seen = 0;  // commands arrived so far
  int port = 0;
  int listeners[2] = {-1, -1};
  int stop[2] = {-1, -1};
  std::vector<Link> links;
  std::thread thread;
};

}  // namespace testing_support

#endif  // TESTS_STORE_TPMRELAY_H_
