#include "lumenfold/surveyor/language.h"

#include <gtest/gtest.h>

namespace lumenfold::surveyor {
namespace {

TEST(LanguageOfTest, MapsEachExtensionExactly) {
  struct Case {
    const char* ext;
    Language language;
  };
  const Case cases[] = {
      {".ts", Language::kTypeScript},  {".tsx", Language::kTypeScript}, {".js", Language::kTypeScript},
      {".jsx", Language::kTypeScript}, {".py", Language::kPython},      {".cs", Language::kCSharp},
      {".php", Language::kPhp},        {".go", Language::kGo},          {".swift", Language::kSwift},
      {".xaml", Language::kXaml},      {".md", Language::kOther},       {".pyi", Language::kOther},
      {".mjs", Language::kOther},      {".TS", Language::kOther},       {".Swift", Language::kOther},
      {"ts", Language::kOther},        {"", Language::kOther},          {".c", Language::kC},
      {".h", Language::kCpp},          {".cc", Language::kCpp},         {".cpp", Language::kCpp},
      {".cxx", Language::kCpp},        {".hh", Language::kCpp},         {".hpp", Language::kCpp},
      {".hxx", Language::kCpp},        {".C", Language::kOther},        {".c++", Language::kOther},
      {".rs", Language::kRust},        {".java", Language::kJava},      {".rb", Language::kRuby},
      {".kt", Language::kKotlin},      {".kts", Language::kKotlin},     {".RS", Language::kOther},
  };
  for (const Case& c : cases) EXPECT_EQ(language_of(c.ext), c.language) << c.ext;
}

}  // namespace
}  // namespace lumenfold::surveyor
