#include "tester.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "korvane.h"
#include "registry_fixture.h"

namespace tarnwell {
namespace {

WString W(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }

class FakeView : public TesterView {
 public:
  WString text;
  std::vector<WString> lines;
  int appends = 0;  // calls of AppendLines: each redraws the list once
  std::vector<WString> messages;
  std::vector<std::string> events;  // messages, focus and clears in the order they happened

  WString ProductIdText() const override { return text; }
  void FocusProductIdText() override { events.push_back("focus"); }
  void ClearList() override {
    lines.clear();
    events.push_back("clear");
  }
  void AppendLines(const std::vector<WString>& added) override {
    ++appends;
    lines.insert(lines.end(), added.begin(), added.end());
  }
  void ShowMessage(const WString& message) override {
    messages.push_back(message);
    events.push_back("message");
  }
  void Close() override { events.push_back("close"); }
};

// A record as the fake library lays it out; null texts give null addresses.
struct Entry {
  const char* name;
  const char* port0;
  const char* port2;
  std::int32_t online;
};

// Answers the size query and the fill call the way a library would, or as
// a test scripts it to misbehave.
class FakeLibrary : public Library {
 public:
  bool bindable = true;
  int binds = 0;
  std::vector<std::string> productIds;
  std::vector<Entry> entries;
  std::int32_t sizeOverride = 0;  // nonzero: the size query reports this
  std::function<std::int32_t(unsigned char*, std::uint32_t)> fill;  // replaces the normal fill

  bool Bind(WString& error) override {
    ++binds;
    if (!bindable) error = W("KORVANE.dll cannot be loaded.");
    return bindable;
  }

  std::int32_t EnumPrinterInfoA(const char* productId, void* buffer, std::uint32_t size,
                                std::uint32_t* needed) override {
    productIds.emplace_back(productId);
    const std::uint32_t bytes = sizeOverride != 0 ? static_cast<std::uint32_t>(sizeOverride) : PackedSize();
    *needed = bytes;
    if (buffer == nullptr) return -1;
    if (fill) return fill(static_cast<unsigned char*>(buffer), size);
    Pack(static_cast<unsigned char*>(buffer));
    return static_cast<std::int32_t>(entries.size());
  }

 private:
  std::uint32_t PackedSize() const {
    std::size_t bytes = sizeof(PackedPrinterInfo) * entries.size();
    for (const auto& e : entries) {
      for (const char* text : {e.name, e.port0, e.port2}) bytes += text != nullptr ? std::strlen(text) + 1 : 0;
    }
    return static_cast<std::uint32_t>(bytes);
  }

  void Pack(unsigned char* buffer) const {
    unsigned char* pool = buffer + sizeof(PackedPrinterInfo) * entries.size();
    auto place = [&pool](const char* text) -> const void* {
      if (text == nullptr) return nullptr;
      const auto length = std::strlen(text) + 1;
      std::memcpy(pool, text, length);
      pool += length;
      return pool - length;
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
      PackedPrinterInfo record{place(entries[i].name), place(entries[i].port0), place(entries[i].port2),
                               entries[i].online};
      std::memcpy(buffer + sizeof record * i, &record, sizeof record);
    }
  }
};

struct TesterTest : testing::Test {
  FakeView view;
  FakeLibrary library;
  Tester tester{view, library};
};

TEST_F(TesterTest, StartsWithTheFirstPreset) {
  tester.OnLoad();
  tester.OnGet();
  EXPECT_EQ(library.productIds, std::vector<std::string>({"4B31"}));  // only the size query: nothing found
  EXPECT_EQ(view.messages, std::vector<WString>{W("0")});
}

TEST_F(TesterTest, OptionsChooseTheProductId) {
  struct Case {
    std::int16_t index;
    std::string typed;
    std::string productId;
    bool warned;
  };
  const Case cases[] = {
      {1, "", "4B52", false},     {2, "", "4B53", false},    {0, "", "4B31", false},
      {3, "4b5z", "4b5z", false},  // as typed: no case change, no hex check
      {3, "4B", "4B", true},       {3, "", "", true},         {3, "12345", "1234", true},
      {7, "", "1234", false},      {-1, "", "1234", false},  // other indexes change nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << " '" << c.typed << "'");
    view.text = W(c.typed);
    view.events.clear();
    view.messages.clear();
    tester.OnOption(c.index);
    EXPECT_EQ(tester.productId(), W(c.productId));
    if (c.warned) {
      EXPECT_EQ(view.messages, std::vector<WString>{u"入力不足です"});
      EXPECT_EQ(view.events, (std::vector<std::string>{"message", "focus"}));
    } else {
      EXPECT_TRUE(view.events.empty());
    }
  }
}

TEST_F(TesterTest, GetListsOneLinePerRecordInOrder) {
  library.entries = {{"Receipt Printer A", "COM3", "COM4", 1}, {"Receipt Printer B", "COM7", "COM8", 0},
                     {"", "", "", 0}};
  view.lines = {W("old line")};
  tester.OnLoad();
  tester.OnGet();
  EXPECT_EQ(view.lines, (std::vector<WString>{W("Receipt Printer A, COM3, COM4, OnLine"),
                                               W("Receipt Printer B, COM7, COM8, OffLine"), W(", , , OffLine")}));
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(library.productIds, (std::vector<std::string>{"4B31", "4B31"}));
  tester.OnGet();  // a second Get shows only its own lines
  EXPECT_EQ(view.lines.size(), 3u);
  tester.OnClear();
  EXPECT_TRUE(view.lines.empty());
  EXPECT_EQ(tester.productId(), W("4B31"));
}

TEST_F(TesterTest, EveryOutcomeOfGetEmptiesTheListFirst) {
  struct Case {
    const char* shows;
    std::int32_t size;
    std::function<std::int32_t(unsigned char*, std::uint32_t)> fill;
    std::string message;
    int calls;
  };
  const Case cases[] = {
      {"no device", 0, nullptr, "0", 1},
      {"negative size", -5, nullptr, "-5", 1},
      {"fill fails", 32, [](unsigned char*, std::uint32_t) { return -1; }, "failure", 2},
      {"fill finds none", 32, [](unsigned char*, std::uint32_t) { return 0; }, "not found", 2},
      {"records beyond the buffer", 32, [](unsigned char*, std::uint32_t) { return 3; }, "failure", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shows);
    FakeView fresh;
    FakeLibrary lib;
    lib.sizeOverride = c.size;
    lib.fill = c.fill;
    Tester t(fresh, lib);
    fresh.lines = {W("left over")};
    t.OnGet();
    EXPECT_TRUE(fresh.lines.empty());
    EXPECT_EQ(fresh.events.front(), "clear");
    EXPECT_EQ(fresh.messages, std::vector<WString>{W(c.message)});
    EXPECT_EQ(lib.productIds.size(), static_cast<std::size_t>(c.calls));
  }
}

// A buffer whose record 0 points wherever the test says, to show that texts
// are read only inside the buffer.
std::function<std::int32_t(unsigned char*, std::uint32_t)> OneRecord(std::function<PackedPrinterInfo(unsigned char*)> make) {
  return [make](unsigned char* buffer, std::uint32_t) {
    const PackedPrinterInfo record = make(buffer);
    std::memcpy(buffer, &record, sizeof record);
    return 1;
  };
}

TEST_F(TesterTest, HostileRecordsNeverReadOutsideTheBuffer) {
  const std::uint32_t R = sizeof(PackedPrinterInfo);
  static const char outside[] = "outside";
  struct Case {
    const char* shows;
    std::uint32_t size;
    std::function<PackedPrinterInfo(unsigned char*)> make;
    std::string line;
  };
  const Case cases[] = {
      {"addresses outside the buffer", R + 4,
       [](unsigned char* b) {
         const auto at = reinterpret_cast<std::uintptr_t>(b);
         return PackedPrinterInfo{outside, reinterpret_cast<const void*>(at - 1),
                                  reinterpret_cast<const void*>(at + 10000), 2};
       },
       ", , , OnLine"},
      {"a string running to the buffer's end", R + 4,
       [](unsigned char* b) {
         std::memcpy(b + R, "ABCD", 4);  // no NUL before the end
         return PackedPrinterInfo{b + R, b + R + 2, nullptr, -1};
       },
       "ABCD, CD, , OnLine"},
      {"null addresses", R, [](unsigned char*) { return PackedPrinterInfo{nullptr, nullptr, nullptr, 0}; },
       ", , , OffLine"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shows);
    FakeView fresh;
    FakeLibrary lib;
    lib.sizeOverride = static_cast<std::int32_t>(c.size);
    lib.fill = OneRecord(c.make);
    Tester t(fresh, lib);
    t.OnGet();
    EXPECT_EQ(fresh.lines, std::vector<WString>{W(c.line)});
  }
}

TEST_F(TesterTest, LongTextsShowTheirFirst1024Bytes) {
  const std::string longName(1500, 'n');
  library.entries = {{longName.c_str(), "COM1", "COM2", 1}};
  tester.OnGet();
  ASSERT_EQ(view.lines.size(), 1u);
  EXPECT_EQ(view.lines[0], W(std::string(1024, 'n') + ", COM1, COM2, OnLine"));
}

TEST_F(TesterTest, ListsAtMost32767Records) {
  library.entries.assign(32768, Entry{"P", "C", "D", 0});
  tester.OnGet();
  EXPECT_EQ(view.lines.size(), 32767u);
  EXPECT_EQ(view.appends, 1) << "the list is redrawn once, not once per line";
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_NE(view.messages[0].find(W("32768")), WString::npos);
}

TEST_F(TesterTest, AMissingLibraryIsNamedAndTriedAgain) {
  library.bindable = false;
  tester.OnGet();
  EXPECT_EQ(view.messages, std::vector<WString>{W("KORVANE.dll cannot be loaded.")});
  EXPECT_TRUE(library.productIds.empty());
  library.bindable = true;
  tester.OnGet();
  EXPECT_EQ(library.binds, 2);
  EXPECT_EQ(library.productIds.size(), 1u);
}

TEST_F(TesterTest, TextsComeFromTheAnsiCodePage) {
  const testing_support::ScopedCodePage japanese(932);
  library.entries = {{"\x8e\xf3\x95\x74", "COM3", "COM4", 1}};  // two double-byte characters
  view.text = u"\u30C6\u30B9\u30C8\u30C8";  // a typed product id goes out in the code page too
  tester.OnOption(3);
  tester.OnGet();
  EXPECT_EQ(library.productIds.back(), "\x83\x65\x83\x58\x83\x67\x83\x67");
  ASSERT_EQ(view.lines.size(), 1u);
  EXPECT_EQ(view.lines[0], u"\u53D7\u4ED8, COM3, COM4, OnLine");
}

}  // namespace
}  // namespace tarnwell
