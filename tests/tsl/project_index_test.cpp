#include "lumenfold/tsl/project_index.h"

#include <gtest/gtest.h>

#include "tsl_project.h"

namespace lumenfold::tsl {
namespace {

TEST(ProjectIndexTest, IndexesFilesChunksNamesAndImports) {
  TslProject project({
      {"app/models.py", "from .utils import slug\nclass Post:\n    def save(self):\n        pass\n"},
      {"app/utils.py", "def slug(text):\n    return text\n"},
      {"app/__init__.py", "from . import models\n"},
      {"lib/utils.py", "import os\n"},
      {"app/tests/test_models.py", "from app.models import Post\n"},
  });
  ProjectIndex index = project.index();
  ASSERT_EQ(index.doc_count(), 5u);
  auto doc = [&](const char* id) { return *index.paths().find(id); };
  const IndexedFile& models = index.files()[doc("app/models.py")];
  EXPECT_EQ(models.name_term, "model");
  EXPECT_EQ(models.name_shared, 1u);
  EXPECT_EQ(index.files()[doc("app/utils.py")].name_shared, 2u);
  EXPECT_EQ(index.files()[doc("app/__init__.py")].name_term, "app");
  EXPECT_TRUE(index.files()[doc("app/tests/test_models.py")].is_test);
  EXPECT_FALSE(models.is_test);

  EXPECT_EQ(index.imports()[doc("app/models.py")], std::vector<uint32_t>{doc("app/utils.py")});
  EXPECT_EQ(index.imports()[doc("app/__init__.py")], std::vector<uint32_t>{});  // "." names the package itself
  EXPECT_EQ(index.imports()[doc("app/tests/test_models.py")], std::vector<uint32_t>{doc("app/models.py")});
  EXPECT_TRUE(index.imports()[doc("lib/utils.py")].empty());

  // models.py: head, class Post, def save
  size_t models_chunks = 0;
  for (uint32_t f : index.chunk_file()) models_chunks += f == doc("app/models.py");
  EXPECT_EQ(models_chunks, 3u);
  EXPECT_EQ(index.terms().doc_frequency("slug"), 2u);
  EXPECT_EQ(index.defs().definers("Post").size(), 1u);
}

TEST(ProjectIndexTest, FilesAGrammarReadDefineWhatTheScannerFound) {
  // No keyword announces an out-of-line C++ method, and "fn" is none the
  // keyword scan knows.
  TslProject project({
      {"net/server.cpp", "namespace net {\nvoid Server::start() {}\n}\n"},
      {"net/conn.rs", "struct Conn;\nimpl Conn {\n    pub fn stop(&self) {}\n}\n"},
      {"app/main.cpp", "int main() { net::Server s; s.start(); }\n"},
  });
  ProjectIndex index = project.index();
  auto doc = [&](const char* id) { return *index.paths().find(id); };
  ASSERT_EQ(index.defs().member_definers("Server", "start").size(), 1u);
  EXPECT_EQ(index.defs().member_definers("Server", "start")[0].doc, doc("net/server.cpp"));
  ASSERT_EQ(index.defs().definers("stop").size(), 1u);
  EXPECT_EQ(index.defs().definers("stop")[0].doc, doc("net/conn.rs"));
}

}  // namespace
}  // namespace lumenfold::tsl
