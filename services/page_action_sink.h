#pragma once

#include <string>

namespace pelmar {

// Where the pages send their page-action records (page code, action code and
// an extra text). Any thread may call it; true when the record was committed,
// which senders may ignore.
class IPageActionSink {
 public:
  virtual ~IPageActionSink() = default;
  virtual bool SendPageAction(const std::string& page, const std::string& action,
                              const std::string& extra) = 0;
};

}  // namespace pelmar
