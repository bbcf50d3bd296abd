#include "lumenfold/lodestar/frontend/distribution_files.h"

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

using lumenfold::testing::TempDir;

TEST(DistributionFilesTest, ServesFilesByteForByteOr404) {
  TempDir dir;
  std::string bytes("\x7f" "ELF\0\x01\xff", 7);
  dir.write("surveyor", bytes);
  RouteAnswer found = serve_distribution_file(dir.path(), "surveyor");
  EXPECT_EQ(found.status, 200);
  EXPECT_EQ(found.content_type, "application/octet-stream");
  EXPECT_EQ(found.body, bytes);
  RouteAnswer missing = serve_distribution_file(dir.path(), "tsl");
  EXPECT_EQ(missing.status, 404);
  EXPECT_NE(missing.body.find("tsl"), std::string::npos);
}

TEST(DistributionFilesTest, InstallScriptDownloadsFromTheBaseAddress) {
  std::string script = install_script("http://127.0.0.1:8080///");
  EXPECT_TRUE(script.starts_with("#!/usr/bin/env bash\n"));
  EXPECT_NE(script.find("BASE=\"http://127.0.0.1:8080\"\n"), std::string::npos);
  for (const char* route : {"/surveyor.py", "/lodestar.py", "/tsl\"", "/tslc\""}) {
    EXPECT_NE(script.find(std::string("\"$BASE") + route), std::string::npos) << route;
  }
  EXPECT_NE(script.find("claude mcp add --transport http"), std::string::npos);
  EXPECT_NE(script.find("[mcp_servers.tessel]"), std::string::npos);
}

}  // namespace
}  // namespace lumenfold::lodestar
