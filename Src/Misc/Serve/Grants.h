// The grant file of the credential server: which unit may have which
// secret. INI form, one section a unit (a template "worker@.service"
// covering each of its instances), one line a credential:
//   [app.service]
//   db_password = settings:db.password
// No grant, no credential. The file is read afresh for every request, so
// an edit takes effect at once.
#ifndef SRC_MISC_SERVE_GRANTS_H_
#define SRC_MISC_SERVE_GRANTS_H_

#include <string>

#include "Src/Misc/Common/StoreLocation.h"

// One credential granted: the store type and the record key, as
// `get --type TYPE --key KEY` takes them.
struct Grant {
  FileType type = SensitiveSetting;
  std::string key;
};

// Looks up in `text`, the grant file's content, the credential `id` of
// `unit`: its own section first, then its template's. False, with `reason`,
// when there is none or the file does not parse (the line named).
[[nodiscard]] bool FindGrant(const std::string& text, const std::string& unit,
                             const std::string& id, Grant& grant, std::string& reason);

#endif  // SRC_MISC_SERVE_GRANTS_H_
