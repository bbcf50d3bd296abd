#include "lumenfold/lodestar/frontend/distribution_files.h"

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

using lumenfold::testing::TempDir;

TEST(DistributionFilesTest, ServesFilesByteForByteOr404) {
  TempDir dir;
  std::string bytes(
      "\x7f"
      "ELF\0\x01\xff",
      7);
  dir.write("surveyor", bytes);
  RouteAnswer found = serve_distribution_file(dir.path(), "surveyor");
  EXPECT_EQ(found.status, 200);
  EXPECT_EQ(found.content_type, "application/octet-stream");
  EXPECT_EQ(found.body, bytes);
  RouteAnswer missing = serve_distribution_file(dir.path(), "tsl");
  EXPECT_EQ(missing.status, 404);
  EXPECT_NE(missing.body.find("tsl"), std::string::npos);
}

TEST(DistributionFilesTest, InstallScriptDownloadsFromTheBaseAddressIntoItsOwnDirectory) {
  std::string script = install_script("http://127.0.0.1:8080///");
  EXPECT_TRUE(script.starts_with("#!/usr/bin/env bash\n"));
  EXPECT_NE(script.find("BASE=\"http://127.0.0.1:8080\"\n"), std::string::npos);
  EXPECT_NE(script.find("DEST=\"$HOME/.tessel/bin\"\n"), std::string::npos);
  for (const char* fetch :
       {"fetch /surveyor.py surveyor", "fetch /lodestar.py lodestar", "fetch /tsl tsl", "fetch /tslc tslc"}) {
    EXPECT_NE(script.find(fetch), std::string::npos) << fetch;
  }
}

TEST(DistributionFilesTest, InstallScriptInstallsTheRuntimePackages) {
  const std::string packages(runtime_packages());
  EXPECT_NE(packages.find("ripgrep"), std::string::npos);
  EXPECT_NE(install_script("http://h:1").find("PACKAGES=\"" + packages + "\"\n"), std::string::npos);
}

TEST(DistributionFilesTest, DownloadBaseComesOnlyFromAPlainHostAndPort) {
  struct Case {
    std::optional<std::string_view> host;
    std::optional<std::string> base;
  };
  const Case cases[] = {
      {std::nullopt, "http://127.0.0.1:8080"},
      {"127.0.0.1:9000", "http://127.0.0.1:9000"},
      {"localhost", "http://localhost:8080"},
      {"build-box.example.org:80", "http://build-box.example.org:80"},
      {"[::1]:9001", "http://[::1]:9001"},
      {"[::1]", "http://[::1]:8080"},
      {"x\"; touch /tmp/p; echo \"", std::nullopt},
      {"$(id)", std::nullopt},
      {"host`id`", std::nullopt},
      {"a b", std::nullopt},
      {"", std::nullopt},
      {"host:", std::nullopt},
      {"host:99999", std::nullopt},
      {"host:80:80", std::nullopt},
      {"[::1", std::nullopt},
      {"[]:80", std::nullopt},
      {"[::1]x", std::nullopt},
      {"[$(id)]", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(download_base(c.host, 8080), c.base) << c.host.value_or("(none)");
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
