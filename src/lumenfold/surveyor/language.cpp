#include "lumenfold/surveyor/language.h"

#include <algorithm>
#include <iterator>

namespace lumenfold::surveyor {
namespace {

struct ExtensionLanguage {
  std::string_view ext;
  Language language;
};

constexpr ExtensionLanguage kExtensionLanguages[] = {
    {".ts", Language::kTypeScript}, {".tsx", Language::kTypeScript},
    {".js", Language::kTypeScript}, {".jsx", Language::kTypeScript},
    {".py", Language::kPython},     {".cs", Language::kCSharp},
    {".php", Language::kPhp},       {".go", Language::kGo},
    {".swift", Language::kSwift},   {".xaml", Language::kXaml},
    {".c", Language::kC},           {".h", Language::kCpp},
    {".cc", Language::kCpp},        {".cpp", Language::kCpp},
    {".cxx", Language::kCpp},       {".hh", Language::kCpp},
    {".hpp", Language::kCpp},       {".hxx", Language::kCpp},
    {".rs", Language::kRust},       {".java", Language::kJava},
    {".kt", Language::kKotlin},     {".kts", Language::kKotlin},
    {".rb", Language::kRuby},
};

}  // namespace

Language language_of(std::string_view ext) {
  const auto* it = std::find_if(std::begin(kExtensionLanguages), std::end(kExtensionLanguages),
                                [ext](const ExtensionLanguage& e) { return e.ext == ext; });
  return it == std::end(kExtensionLanguages) ? Language::kOther : it->language;
}

}  // namespace lumenfold::surveyor
