#include "feed/posix/posix_sources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "feed/settings_text.h"
#include "client/chart_service_client.h"
#include "posix/posix_components.h"

namespace moravex::feed {
namespace {

struct FileText {
  std::string text;
  std::string error;
};

FileText ReadWhole(int fd, const std::string& path) {
  FileText file;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) file.error = path + ": " + std::strerror(errno);
    if (n <= 0) break;
    file.text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return file;
}

FileText Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {{}, path + ": " + std::strerror(errno)};
  return ReadWhole(fd, path);
}

}  // namespace

std::string DefaultSettingsFolder() {
  if (const char* home = std::getenv("MORAVEX1_HOME"); home != nullptr && *home != '\0') return home;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0') {
    return std::string(config) + "/moravex1";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.config/moravex1";
}

ProfileLookup ProfileFile::Find(const Text& name) {
  const FileText file = Open(path_);
  if (!file.error.empty()) return {std::nullopt, file.error};
  ProfileLookup lookup = ProfileFromText(file.text, name);
  if (!lookup.error.empty()) lookup.error = path_ + ": " + lookup.error;
  return lookup;
}

PasswordLookup CredentialFile::Password(const Text& name) {
  // The checks are made on the file that was opened, not on its name.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return {std::nullopt, path_ + ": " + std::strerror(errno)};
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
      (status.st_mode & 077) != 0) {
    ::close(fd);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    return {std::nullopt,
            path_ + " must be a file of its owner that only the owner may read (mode " + mode + "; chmod 600 it)"};
  }
  const FileText file = ReadWhole(fd, path_);
  if (!file.error.empty()) return {std::nullopt, file.error};
  PasswordLookup lookup = PasswordFromText(file.text, name);
  if (!lookup.error.empty()) lookup.error = path_ + ": " + lookup.error;
  return lookup;
}

int64_t PosixClock::SteadyMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Text PosixClock::WallText() const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return FromUtf8(text);
}

FeedPlatform MakePosixFeedPlatform(EventLoop& loop, std::shared_ptr<ProfileSource> profiles,
                                   std::shared_ptr<CredentialSource> credentials) {
  FeedPlatform platform;
  platform.make_components = [&loop] { return MakePosixComponents(loop, ChartServiceClient::kSocketReadSize); };
  platform.make_timer = [&loop](const std::string& name) { return MakePosixTimer(loop, name); };
  platform.clock = std::make_shared<PosixClock>();
  platform.profiles = std::move(profiles);
  platform.credentials = std::move(credentials);
  platform.seed = std::random_device{}();
  return platform;
}

}  // namespace moravex::feed
