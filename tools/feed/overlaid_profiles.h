// The profiles of a file (or none) with the command line's server and
// settings laid over the Default profile.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "feed/feed_sources.h"
#include "feed/topic.h"

namespace moravex::feed {

class OverlaidProfiles final : public ProfileSource {
 public:
  OverlaidProfiles(std::shared_ptr<ProfileSource> base, std::optional<std::pair<std::string, int>> server,
                   std::vector<std::pair<std::string, std::string>> settings)
      : base_(std::move(base)), server_(std::move(server)), settings_(std::move(settings)) {}

  ProfileLookup Find(const Text& name) override {
    ProfileLookup lookup = base_ ? base_->Find(name) : ProfileLookup{};
    if (name != kDefaultProfile) return lookup;
    if (!lookup.profile && base_ && !server_) return lookup;  // nothing to lay the settings over
    Profile profile = lookup.profile.value_or(Profile{});
    if (server_) {
      profile.server = FromUtf8(server_->first);
      profile.port = server_->second;
    }
    for (const auto& [key, value] : settings_) {
      if (std::string error = ApplyProfileSetting(profile, key, value); !error.empty()) return {std::nullopt, error};
    }
    return {profile, {}};
  }

 private:
  std::shared_ptr<ProfileSource> base_;
  std::optional<std::pair<std::string, int>> server_;
  std::vector<std::pair<std::string, std::string>> settings_;
};

}  // namespace moravex::feed
