// Where profiles and passwords come from. The engine asks again whenever it
// starts over (a refused login, a missing profile), so an edited source is
// picked up without a restart. POSIX reads files (posix_sources.h); another
// platform adds its own sources beside them.
#pragma once
#include <map>
#include <optional>
#include <string>

#include "feed/profile.h"
#include "platform/text.h"

namespace moravex::feed {

struct ProfileLookup {
  std::optional<Profile> profile;
  std::string error;  // why there is none
};

class ProfileSource {
 public:
  virtual ~ProfileSource() = default;
  virtual ProfileLookup Find(const Text& name) = 0;
};

struct PasswordLookup {
  std::optional<Text> password;
  std::string error;
};

class CredentialSource {
 public:
  virtual ~CredentialSource() = default;
  // The password of the profile `name`.
  virtual PasswordLookup Password(const Text& name) = 0;
};

// Sources held in memory: for tests, and for a host that has its values already.
class FixedProfiles final : public ProfileSource {
 public:
  std::map<Text, Profile> profiles;
  ProfileLookup Find(const Text& name) override;
};

class FixedCredentials final : public CredentialSource {
 public:
  std::map<Text, Text> passwords;
  PasswordLookup Password(const Text& name) override;
};

}  // namespace moravex::feed
