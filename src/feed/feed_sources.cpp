#include "feed/feed_sources.h"

namespace moravex::feed {

ProfileLookup FixedProfiles::Find(const Text& name) {
  const auto found = profiles.find(name);
  if (found == profiles.end()) return {std::nullopt, "no profile " + ToUtf8(name)};
  return {found->second, {}};
}

PasswordLookup FixedCredentials::Password(const Text& name) {
  const auto found = passwords.find(name);
  if (found == passwords.end()) return {std::nullopt, "no password for " + ToUtf8(name)};
  return {found->second, {}};
}

}  // namespace moravex::feed
