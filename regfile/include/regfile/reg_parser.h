// Reader for the text files that regedit exports and imports (.reg).
//
// Accepts "Windows Registry Editor Version 5.00" (UTF-16LE with a BOM, or
// UTF-8/ASCII with or without a BOM) and "REGEDIT4". The whole file is
// checked before anything is returned: a malformed file yields an error that
// names the line and what was wrong, and no script at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "regfile/file_read.h"
#include "regfile/script.h"
#include "regfile/selection.h"

namespace regfile {

struct ParseError {
  unsigned line = 0;            // 1-based
  std::string message;          // what was wrong, in English, without the file name or line
};

struct ParseResult {
  Script script;                         // empty when error is set
  std::optional<ParseError> error;
};

// Converts text in the ANSI code page that hex(1), hex(2) and hex(7) data of a
// REGEDIT4 file are written in. Null: such bytes are widened one to one.
using AnsiToUtf16 = std::u16string (*)(std::string_view);

// Parses a whole file held in memory. Every line is checked; the script keeps
// the keys that `selection` keeps.
ParseResult Parse(std::string_view bytes, AnsiToUtf16 ansiToUtf16 = nullptr, const Selection& selection = {});

// Reads and parses a file, a piece at a time: what it holds in memory is a
// piece of the file and the keys kept, not the file. A failure's error
// names the file and the line (0 when the file cannot be read).
FileRead ParseFile(const std::string& fileName, AnsiToUtf16 ansiToUtf16 = nullptr, const Selection& selection = {});

}  // namespace regfile
