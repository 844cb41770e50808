#pragma once

#include <string>
#include <string_view>

namespace pelmar {

// The welcome page's address, built when the installation has finished: the
// server's address (or the product web site's default one), the run's channel
// and identifiers as query keys, and for a server address the advertising
// account and the default address as a fallback for the page. All texts UTF-8.

// What to append before the first query key: "?" when the address has no
// query, nothing when it ends in its first "?", else "&" unless its first "&"
// is its last character.
std::string WelcomeSeparator(std::string_view address);

// The default address as the value of "&def_welcom_url=": letters, digits and
// "-_.!~*'()" stay, a space becomes "+", every other byte "%XX" (upper case).
std::string EncodeQueryValue(std::string_view utf8);

// A server value taken as text: control characters (which would end a line of
// the settings file or break the address) are dropped.
std::string WithoutControlCharacters(std::string_view text);

struct WelcomeInputs {
  std::string serverAddress;  // from the channel record; empty when none
  std::string defaultAddress;
  std::string channel;
  std::string mid;          // the SDK's machine identifier
  std::string machineHash;  // MD5 text of the machine identity
  std::string appVersion;   // the package version
  std::string timeStamp;    // Unix seconds, decimal
  std::string advertisingAccount;
};

struct WelcomeAddress {
  std::string address;
  std::string sessionId;    // MD5 text of the address before "&session_id="
  bool fromServer = false;  // "is_sem"
};

WelcomeAddress BuildWelcomeAddress(const WelcomeInputs& in);

// The product web site's welcome page, used when the server names none.
std::string DefaultWelcomeAddress();

}  // namespace pelmar
