// What tarnwell does behind its controls, apart from the window code so that
// it can be driven by tests through a fake view and a fake library.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwell {

using WString = std::basic_string<WCHAR>;

// The window as the actions see it.
class TesterView {
 public:
  virtual ~TesterView() = default;
  virtual WString ProductIdText() const = 0;            // current text of PDText
  virtual void FocusProductIdText() = 0;
  virtual void ClearList() = 0;                          // List1
  // Appends the lines at the end of List1, in order, and redraws it once:
  // a list redrawn after each of thousands of lines takes minutes.
  virtual void AppendLines(const std::vector<WString>& lines) = 0;
  virtual void ShowMessage(const WString& text) = 0;     // modal, OK only, captioned "tarnwell"
  virtual void Close() = 0;                              // ends the program
};

// EnumPrinterInfoA of KORVANE.dll, bound at the first use.
class Library {
 public:
  virtual ~Library() = default;
  // Binds the entry if not yet bound; on failure sets error to a message that
  // names the missing file or entry.
  virtual bool Bind(WString& error) = 0;
  virtual std::int32_t EnumPrinterInfoA(const char* productId, void* buffer, std::uint32_t bufferSize,
                                        std::uint32_t* bytesNeeded) = 0;
};

// One record of the result buffer, decoded.
struct DecodedRecord {
  WString name;
  WString port0;
  WString port2;
  bool online = false;
};

// The line shown for a record: "name, port0, port2, OnLine|OffLine".
WString FormatLine(const DecodedRecord& record);

// Decodes the first count records of a packed result buffer. A string is
// read only inside the buffer, at most 1024 bytes of it: an address outside
// the buffer reads as empty text, a string without a NUL before the buffer's
// end is cut there. The caller makes sure the records themselves fit.
std::vector<DecodedRecord> DecodeRecords(const std::vector<unsigned char>& buffer, std::size_t count);

class Tester {
 public:
  Tester(TesterView& view, Library& library) : view_(view), library_(library) {}

  void OnLoad() { OnOption(0); }
  void OnOption(std::int16_t index);
  void OnGet();
  void OnClear() { view_.ClearList(); }
  void OnClose() { view_.Close(); }

  // The product id that the next Get passes to the library.
  const WString& productId() const { return productId_; }

 private:
  void ListRecords(const std::vector<unsigned char>& buffer, std::int32_t count);

  TesterView& view_;
  Library& library_;
  WString productId_;
};

}  // namespace tarnwell
