// The feed's Windows side: profiles from the registry, passwords from the
// Windows credential store, the system clock, and a platform on the calling
// thread's message loop.
#pragma once
#include <memory>
#include <string>

#include "feed/feed_platform.h"

namespace moravex::feed {

// HKCU\Software\MORAVEX1\Profiles: one key per profile, its values named as
// the settings of a profile file (REG_SZ or REG_DWORD), read again on every
// look-up.
inline constexpr const wchar_t* kProfilesKey = L"Software\\MORAVEX1\\Profiles";

class RegistryProfiles final : public ProfileSource {
 public:
  ProfileLookup Find(const Text& name) override;
};

// The generic credential "MORAVEX1/<profile>" of the current user; its
// password is the credential's blob, UTF-16 as the system's own tools store it.
inline constexpr const char16_t* kCredentialPrefix = u"MORAVEX1/";

class CredentialStore final : public CredentialSource {
 public:
  PasswordLookup Password(const Text& name) override;
};

class WindowsClock final : public FeedClock {
 public:
  int64_t SteadyMs() const override;
  Text WallText() const override;
};

// Controls on MakeWindowsComponents, timers on one message-only window of the
// calling thread (which must run a message loop), the system clock, a random
// seed. Throws Failure when the window cannot be created.
FeedPlatform MakeWindowsFeedPlatform(std::shared_ptr<ProfileSource> profiles,
                                     std::shared_ptr<CredentialSource> credentials);

}  // namespace moravex::feed
