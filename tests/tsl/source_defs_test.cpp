#include "lumenfold/tsl/source_defs.h"

#include <gtest/gtest.h>

namespace lumenfold::tsl {
namespace {

std::string describe(const std::vector<SourceDef>& defs) {
  std::string out;
  for (const SourceDef& d : defs) {
    const char* kind = d.kind == DefKind::kClass ? "class" : d.kind == DefKind::kFunction ? "fn" : "var";
    out +=
        std::string(kind) + " " + (d.owner.empty() ? "" : d.owner + ".") + d.name + "@" + std::to_string(d.line) + "\n";
  }
  return out;
}

TEST(ExtractSourceDefsTest, PythonClassesMethodsAndAttributes) {
  const char* text =
      "import os\n"
      "DEFAULT_LIMIT = 10\n"
      "class QuerySet(BaseIterable):\n"
      "    chunk_size: int = 100\n"
      "    def bulk_create(self, objs):\n"
      "        batch = []\n"
      "        def inner():\n"
      "            pass\n"
      "    async def aget(self):\n"
      "        return None\n"
      "\n"
      "def helper(x):\n"
      "    local = x\n"
      "if DEBUG == True:\n"
      "    pass\n";
  EXPECT_EQ(describe(extract_source_defs(text, ".py")),
            "var DEFAULT_LIMIT@1\n"
            "class QuerySet@2\n"
            "var QuerySet.chunk_size@3\n"
            "fn QuerySet.bulk_create@4\n"
            "fn QuerySet.inner@6\n"
            "fn QuerySet.aget@8\n"
            "fn helper@11\n");
}

TEST(ExtractSourceDefsTest, ScriptAndGoDeclarationsAfterModifiers) {
  const char* ts =
      "export default class Store {\n"
      "  static async load() {}\n"
      "}\n"
      "export const API_BASE = '/api';\n"
      "export async function fetchUser(id: string) {}\n"
      "function* walk() {}\n"
      "export interface Props { a: number }\n"
      "  const inner = 1;\n";
  EXPECT_EQ(describe(extract_source_defs(ts, ".ts")),
            "class Store@0\n"
            "var API_BASE@3\n"
            "fn fetchUser@4\n"
            "fn walk@5\n"
            "class Props@6\n");
  const char* go =
      "type Server struct {\n"
      "}\n"
      "func (s *Server) Serve(addr string) error {\n"
      "func NewServer() *Server {\n";
  EXPECT_EQ(describe(extract_source_defs(go, ".go")), "class Server@0\nfn Serve@2\nfn NewServer@3\n");
}

TEST(ExtractSourceDefsTest, NothingInProseOrEmptyText) {
  EXPECT_EQ(describe(extract_source_defs("", ".py")), "");
  EXPECT_EQ(describe(extract_source_defs("# Title\nThe class of problems we solve.\n", ".md")), "");
}

}  // namespace
}  // namespace lumenfold::tsl
