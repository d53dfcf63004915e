// Profile and credential files as the POSIX feed reads them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>

#include "feed/posix/posix_sources.h"

namespace moravex::feed {
namespace {

std::string Write(const std::string& name, const std::string& text, mode_t mode) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  ::chmod(path.c_str(), mode);
  return path;
}

TEST(FeedPosixSources, ReadsProfilesAndRefusesBadSettings) {
  const std::string path = Write("profiles.ini",
                                 "# desks\n[Default]\nserver = chart.example.test\nport=7500\nuser = u\n"
                                 "connections = 2\n\n[Desk2]\npace = fast\n[Desk3]\nbackof_base_ms = 5\n",
                                 0644);
  ProfileFile file(path);
  const ProfileLookup found = file.Find(u"Default");
  ASSERT_TRUE(found.profile) << found.error;
  EXPECT_EQ(found.profile->server, u"chart.example.test");
  EXPECT_EQ(found.profile->port, 7500);
  EXPECT_EQ(found.profile->connections, 2);
  EXPECT_EQ(found.profile->interval_ms, 1000);
  EXPECT_EQ(file.Find(u"Desk2").error, path + ": profile Desk2: pace must be a whole number of at least 0");
  EXPECT_EQ(file.Find(u"Desk3").error, path + ": profile Desk3: unknown setting backof_base_ms");
  EXPECT_EQ(file.Find(u"Desk4").error, path + ": no profile Desk4");
  EXPECT_EQ(ProfileFile(Write("broken.ini", "[Default]\nport\n", 0644)).Find(u"Default").error,
            ::testing::TempDir() + "broken.ini: line 2: expected key = value");
}

TEST(FeedPosixSources, TakesAPasswordOnlyFromAFileOnlyItsOwnerMayRead) {
  const std::string text = "[Default]\npassword = secret = yes \n";
  const std::string path = Write("credentials", text, 0644);
  const PasswordLookup open = CredentialFile(path).Password(u"Default");
  EXPECT_FALSE(open.password);
  EXPECT_EQ(open.error, path + " must be a file of its owner that only the owner may read (mode 0644; chmod 600 it)");
  ::chmod(path.c_str(), 0600);
  EXPECT_EQ(CredentialFile(path).Password(u"Default").password, u"secret = yes");
  EXPECT_EQ(CredentialFile(path).Password(u"Desk2").error, path + ": no password for Desk2");
  std::remove(path.c_str());
}

}  // namespace
}  // namespace moravex::feed
