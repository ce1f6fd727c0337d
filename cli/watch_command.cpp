#include "watch_command.h"

#include <iostream>

#include "common/ansi.h"
#include "exit_status.h"
#include "registry_source.h"
#include "registry_watch.h"
#include "report.h"

namespace korvane_cli {
namespace {

// Each line is flushed at once, so that a program reading the pipe sees it
// when it happens; a line that cannot be written means the reader is gone.
class StreamReport : public WatchReport {
 public:
  explicit StreamReport(bool json) : json_(json) {}

  bool Events(const std::vector<DeviceEvent>& events) override {
    const std::string time = Iso8601(Now());
    for (const auto& event : events) std::cout << (json_ ? EventJson(time, event) : EventLine(time, event)) << "\n";
    return static_cast<bool>(std::cout.flush());
  }

  void WalkKeepsFailing(int tries) override {
    std::cerr << Iso8601(Now()) << " korvane: the registry walk failed " << tries
              << " times in a row while the registry changed; still watching" << std::endl;
  }

 private:
  bool json_;
};

void PrintFirstListing(const WatchRequest& request, const Enumeration& first) {
  if (request.json) {
    std::cout << JsonText(EnumerationJson(common::AnsiToUtf8(request.productId), first)) << "\n";
  } else {
    PrintListing(std::cout, first);
  }
  std::cout.flush();
}

}  // namespace

int RunWatch(const WatchRequest& request) {
  const auto note = [&request](const std::string& why) {
    std::cerr << "korvane: " << why << "; enumerating every " << request.settings.interval.count() / 1000
              << " s instead of waiting for changes" << std::endl;
  };
  if (!HasLiveRegistry()) {
    std::cerr << "korvane: --watch watches this machine's registry, and there is none here\n";
    return exit_status::kUsage;
  }
  // Armed before the first listing, so that no change after it goes unseen.
  const auto signal = WatchTheRegistry(note);
  const auto enumerate = [&request] { return Enumerate(request.productId, request.form); };
  const Enumeration first = enumerate();
  PrintFirstListing(request, first);
  if (first.result < 0) std::cerr << "korvane: the registry walk failed; watching for changes" << std::endl;
  StreamReport report(request.json);
  WatchForChanges(*signal, enumerate, first.result >= 0 ? first.records : std::vector<PrinterInfo>{}, report,
                  request.settings);
  return exit_status::kFound;
}

}  // namespace korvane_cli
