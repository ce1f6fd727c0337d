// korvane --watch's plain parts: which events two results give, how they are
// written, and when the watch enumerates, driven by a scripted signal.
#include "watch.h"

#include <gtest/gtest.h>

#include <deque>

#include "watch_events.h"

namespace korvane_cli {
namespace {

using Wake = ChangeSignal::Wake;
using std::chrono::milliseconds;

PrinterInfo On(const char* name, const char* port0, const char* port2) { return PrinterInfo{name, port0, port2, true}; }
PrinterInfo Off(const char* name, const char* port0, const char* port2) { return PrinterInfo{name, port0, port2, false}; }

std::string Describe(const std::vector<DeviceEvent>& events) {
  std::string text;
  for (const auto& event : events) text += EventLine("", event) + ";";
  return text;
}

TEST(CompareDevicesTest, GivesTheEventsThatTurnOneResultIntoTheNext) {
  const PrinterInfo a = On("A", "COM3", "COM4");
  const PrinterInfo b = Off("B", "COM7", "COM8");
  const struct {
    const char* shows;
    std::vector<PrinterInfo> before;
    std::vector<PrinterInfo> after;
    std::string events;
  } cases[] = {
      {"nothing changed", {a, b}, {a, b}, ""},
      {"a device came", {a}, {a, b}, " + B, COM7, COM8, OffLine;"},
      {"a device went", {a, b}, {b}, " - A, COM3, COM4, OnLine;"},
      {"online changed", {a, b}, {a, On("B", "COM7", "COM8")}, " ~ B, COM7, COM8, OnLine;"},
      {"a renamed printer is one gone and one come", {a}, {On("A2", "COM3", "COM4")},
       " - A, COM3, COM4, OnLine; + A2, COM3, COM4, OnLine;"},
      {"two devices of one printer differ in their ports", {On("P", "COM1", "COM2")},
       {On("P", "COM1", "COM2"), On("P", "COM5", "COM6")}, " + P, COM5, COM6, OnLine;"},
      {"the same device twice stays two", {a, a}, {a}, " - A, COM3, COM4, OnLine;"},
      {"the same device twice, one changed", {a, a}, {a, Off("A", "COM3", "COM4")}, " ~ A, COM3, COM4, OffLine;"},
      {"removed first, in their old order, then the rest in the new order", {a, b, On("C", "COM9", "COM10")},
       {On("D", "COM1", "COM2"), Off("C", "COM9", "COM10")},
       " - A, COM3, COM4, OnLine; - B, COM7, COM8, OffLine; + D, COM1, COM2, OnLine; ~ C, COM9, COM10, OffLine;"},
      {"order alone is no change", {a, b}, {b, a}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shows);
    EXPECT_EQ(Describe(CompareDevices(c.before, c.after)), c.events);
  }
}

TEST(EventTextTest, LinesAndJsonCarryTheTimeFirst) {
  LocalTime time;
  time.year = 2026, time.month = 12, time.day = 9, time.hour = 7, time.minute = 5, time.second = 3;
  time.millisecond = 42;
  time.utcOffsetMinutes = 60;
  EXPECT_EQ(Iso8601(time), "2026-12-09T07:05:03.042+01:00");
  time.utcOffsetMinutes = -(3 * 60 + 30);
  EXPECT_EQ(Iso8601(time), "2026-12-09T07:05:03.042-03:30");
  time.utcOffsetMinutes = 0;
  EXPECT_EQ(Iso8601(time), "2026-12-09T07:05:03.042+00:00");

  const DeviceEvent gone{Change::kRemoved, PrinterInfo{"Front \"Desk\"", "COM3", "", false}};
  EXPECT_EQ(EventLine("T", gone), "T - Front \"Desk\", COM3, , OffLine");
  EXPECT_EQ(EventJson("T", gone),
            R"({"time":"T","event":"removed","device":{"name":"Front \"Desk\"","port0":"COM3","port2":"","online":false}})");
  EXPECT_EQ(EventJson("T", DeviceEvent{Change::kChanged, On("A", "COM3", "COM4")}),
            R"({"time":"T","event":"changed","device":{"name":"A","port0":"COM3","port2":"COM4","online":true}})");
}

TEST(EventTextTest, NowIsAPlausibleLocalTime) {
  const LocalTime now = Now();
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.millisecond, 0);
  EXPECT_LT(now.millisecond, 1000);
  EXPECT_LE(std::abs(now.utcOffsetMinutes), 14 * 60);
}

// Wakes as scripted, then says stop; notes every wait it was asked for.
class ScriptedSignal : public ChangeSignal {
 public:
  ScriptedSignal(std::deque<Wake> wakes, bool notifies) : wakes_(std::move(wakes)), notifies_(notifies) {}
  Wake Wait(std::optional<milliseconds> timeout) override {
    waits.push_back(timeout ? static_cast<int>(timeout->count()) : -1);
    if (wakes_.empty()) return Wake::kStop;
    const Wake wake = wakes_.front();
    wakes_.pop_front();
    return wake;
  }
  bool Notifies() const override { return notifies_; }
  std::vector<int> waits;  // milliseconds; -1 for as long as it takes

 private:
  std::deque<Wake> wakes_;
  bool notifies_;
};

class RecordingReport : public WatchReport {
 public:
  bool Events(const std::vector<DeviceEvent>& events) override {
    lines.push_back(Describe(events));
    return open;
  }
  void WalkKeepsFailing(int tries) override { failures.push_back(tries); }
  std::vector<std::string> lines;
  std::vector<int> failures;
  bool open = true;
};

Enumeration Found(std::vector<PrinterInfo> devices) {
  Enumeration enumeration;
  enumeration.result = static_cast<std::int32_t>(devices.size());
  enumeration.records = std::move(devices);
  return enumeration;
}
const Enumeration kWalkFailed{};

struct Run {
  std::vector<int> waits;
  std::vector<std::string> lines;
  std::vector<int> failures;
  int enumerations = 0;
};

Run Watch(std::deque<Wake> wakes, std::deque<Enumeration> results, bool notifies = true, bool reportOpen = true) {
  ScriptedSignal signal(std::move(wakes), notifies);
  RecordingReport report;
  report.open = reportOpen;
  Run run;
  const auto enumerate = [&results, &run] {
    ++run.enumerations;
    Enumeration next = results.empty() ? kWalkFailed : results.front();
    if (!results.empty()) results.pop_front();
    return next;
  };
  WatchSettings settings;
  settings.settle = milliseconds(250);
  settings.interval = milliseconds(2000);
  WatchForChanges(signal, enumerate, {On("A", "COM3", "COM4")}, report, settings);
  run.waits = signal.waits;
  run.lines = report.lines;
  run.failures = report.failures;
  return run;
}

TEST(WatchForChangesTest, ABurstSettlesIntoOneEnumeration) {
  const auto run = Watch({Wake::kChanged, Wake::kChanged, Wake::kChanged, Wake::kTimedOut},
                         {Found({On("A", "COM3", "COM4"), Off("B", "COM7", "COM8")})});
  EXPECT_EQ(run.enumerations, 1);
  EXPECT_EQ(run.lines, std::vector<std::string>{" + B, COM7, COM8, OffLine;"});
  // Waits for a change, then for quiet after each change of the burst, then for the next change.
  EXPECT_EQ(run.waits, (std::vector<int>{-1, 250, 250, 250, -1}));
}

TEST(WatchForChangesTest, NoEventsNoLine) {
  const auto run = Watch({Wake::kChanged, Wake::kTimedOut}, {Found({On("A", "COM3", "COM4")})});
  EXPECT_EQ(run.enumerations, 1);
  EXPECT_TRUE(run.lines.empty());
}

TEST(WatchForChangesTest, AFailedWalkIsTriedAgainAndIsNoDeviceGone) {
  const auto run = Watch({Wake::kChanged, Wake::kTimedOut, Wake::kTimedOut, Wake::kTimedOut},
                         {kWalkFailed, kWalkFailed, Found({Off("A", "COM3", "COM4")})});
  EXPECT_EQ(run.enumerations, 3);
  EXPECT_EQ(run.lines, std::vector<std::string>{" ~ A, COM3, COM4, OffLine;"});
  EXPECT_TRUE(run.failures.empty());
}

TEST(WatchForChangesTest, AWalkThatKeepsFailingIsReportedOnceAndTheWatchGoesOn) {
  std::deque<Wake> wakes{Wake::kChanged, Wake::kTimedOut};
  for (int i = 0; i < 4; ++i) wakes.push_back(Wake::kTimedOut);  // the waits between the five tries
  wakes.insert(wakes.end(), {Wake::kChanged, Wake::kTimedOut});
  std::deque<Enumeration> results(5, kWalkFailed);
  results.push_back(Found({On("A", "COM3", "COM4")}));
  const auto run = Watch(wakes, results);
  EXPECT_EQ(run.failures, std::vector<int>{5});
  EXPECT_EQ(run.enumerations, 6);
  EXPECT_TRUE(run.lines.empty()) << "the device last seen is still there: nothing to report";
}

TEST(WatchForChangesTest, WithoutNotificationsItEnumeratesEveryInterval) {
  const auto run = Watch({Wake::kTimedOut, Wake::kTimedOut},
                         {Found({On("A", "COM3", "COM4")}), Found({})}, /*notifies=*/false);
  EXPECT_EQ(run.enumerations, 2);
  EXPECT_EQ(run.waits, (std::vector<int>{2000, 2000, 2000}));
  EXPECT_EQ(run.lines, std::vector<std::string>{" - A, COM3, COM4, OnLine;"});
}

TEST(WatchForChangesTest, EndsWhenStoppedOrWhenTheReaderIsGone) {
  EXPECT_EQ(Watch({Wake::kChanged, Wake::kStop}, {Found({})}).enumerations, 0) << "stopped while settling";
  const auto run = Watch({Wake::kChanged, Wake::kTimedOut, Wake::kChanged, Wake::kTimedOut},
                         {Found({}), Found({On("A", "COM3", "COM4")})}, true, /*reportOpen=*/false);
  EXPECT_EQ(run.enumerations, 1) << "the first line that cannot be written ends the watch";
}

}  // namespace
}  // namespace korvane_cli
