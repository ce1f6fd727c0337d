// Which ANSI code page korvane converts names through when it reads a
// customer's files: the customer's own, as --code-page or the files give it
// (SYSTEM\CurrentControlSet\Control\Nls\CodePage, value ACP), else 1252.
#pragma once

#include <string>
#include <vector>

#include "regfile/script.h"
#include "regfile/selection.h"

namespace korvane_cli {

constexpr unsigned kDefaultCodePage = 1252;

// The ACP the scripts give, as they spell it ("932"); "" when they give none.
// Read after ProvideCurrentControlSet, which names the control set in use.
std::string FilesCodePage(const std::vector<regfile::Script>& scripts);

struct CodePageChoice {
  unsigned codePage = kDefaultCodePage;  // the one in force
  bool customers = false;                // it is the customer's, not the default
  bool notTheCustomers = false;          // the platform keeps its own, another than the customer's
  std::string note;                      // what to say of it; "" when nothing
};

// Chooses from --code-page (0 when not given) and the files' ACP, and makes
// it the one in force where the platform lets it (UseCodePage).
CodePageChoice ChooseCodePage(unsigned option, const std::string& filesCodePage);

// Whether every key name and string the scripts hold survives the code page
// in force both ways; the library's walk reads them through it.
bool NamesFitCodePage(const std::vector<regfile::Script>& scripts);

// The note for names that the code page in force lacks characters of.
std::string ReplacedNamesNote(const CodePageChoice& choice);

}  // namespace korvane_cli
