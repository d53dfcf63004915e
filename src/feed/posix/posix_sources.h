// The feed's POSIX side: profiles and passwords from files, the real clock,
// and a platform on an event loop.
#pragma once
#include <memory>
#include <string>

#include "feed/feed_platform.h"
#include "posix/event_loop.h"

namespace moravex::feed {

// $MORAVEX1_HOME, else $XDG_CONFIG_HOME/moravex1, else ~/.config/moravex1.
std::string DefaultSettingsFolder();

// A profile file, read again on every look-up.
class ProfileFile final : public ProfileSource {
 public:
  explicit ProfileFile(std::string path) : path_(std::move(path)) {}
  ProfileLookup Find(const Text& name) override;

 private:
  std::string path_;
};

// A credential file, refused unless it is a regular file of this user that
// nobody else may read or write.
class CredentialFile final : public CredentialSource {
 public:
  explicit CredentialFile(std::string path) : path_(std::move(path)) {}
  PasswordLookup Password(const Text& name) override;

 private:
  std::string path_;
};

class PosixClock final : public FeedClock {
 public:
  int64_t SteadyMs() const override;
  Text WallText() const override;
};

// Controls on MakePosixComponents, timers on the loop, the real clock, a random seed.
FeedPlatform MakePosixFeedPlatform(EventLoop& loop, std::shared_ptr<ProfileSource> profiles,
                                   std::shared_ptr<CredentialSource> credentials);

}  // namespace moravex::feed
