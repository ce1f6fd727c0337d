#include "walk_input.h"

#include <algorithm>

#include "check.h"
#include "winhost/codepage.h"

namespace walkfuzz {
namespace {

constexpr std::size_t kMaxKeyName = 255;
constexpr std::u16string_view kUsb = u"SYSTEM\\CurrentControlSet\\Enum\\USB";
constexpr std::u16string_view kUsbPrintKey = u"SYSTEM\\CurrentControlSet\\Enum\\USBPRINT";
constexpr std::u16string_view kPrintersKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
constexpr std::u16string_view kSerialCommKey = u"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr std::u16string_view kDeviceParameters = u"Device Parameters";

std::u16string Decode(const PoolEntry& entry) {
  std::u16string text;
  switch (entry.form) {
    case kLatin1:
      for (const char c : entry.bytes) text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
      break;
    case kUtf16:
      for (std::size_t i = 0; i + 1 < entry.bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(entry.bytes[i]) |
                                             (static_cast<unsigned char>(entry.bytes[i + 1]) << 8)));
      }
      break;
    default:
      text = winhost::FromAnsi(entry.bytes, 932);
      break;
  }
  return text;
}

std::u16string PoolText(const Input& input, std::uint8_t index) {
  if (input.pool.empty()) return std::u16string();
  return Decode(input.pool[index % input.pool.size()]);
}

std::u16string AsciiCase(std::u16string text, bool upper) {
  for (auto& c : text) {
    if (upper && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 0x20);
    if (!upper && c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 0x20);
  }
  return text;
}

// A key name the platform can hold: no backslash or NUL, 1 to 255 units.
std::u16string KeyName(std::u16string name) {
  std::replace(name.begin(), name.end(), u'\\', u'_');
  std::replace(name.begin(), name.end(), u'\0', u'_');
  if (name.size() > kMaxKeyName) name.resize(kMaxKeyName);
  if (name.empty()) name = u"_";
  return name;
}

std::u16string Join(std::u16string_view parent, std::u16string_view child) {
  std::u16string path(parent);
  return path.append(u"\\").append(child);
}

void AppendUtf16Le(std::vector<std::uint8_t>& out, std::u16string_view text) {
  for (const char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
}

std::vector<std::uint8_t> DataBytes(const Input& input, const Data& data) {
  std::vector<std::uint8_t> bytes;
  if (data.form == kRaw) return std::vector<std::uint8_t>(data.raw.begin(), data.raw.end());
  const auto text = Resolve(input, data.text);
  if (data.form == kNarrow) {
    const auto narrow = winhost::ToAnsi(text, CodePage(input));
    bytes.assign(narrow.begin(), narrow.end());
    bytes.push_back(0);
    return bytes;
  }
  AppendUtf16Le(bytes, text);
  if (data.form == kUnterminated) return bytes;
  bytes.insert(bytes.end(), {0, 0});
  if (data.form == kOddLength) bytes.push_back('A');
  if (data.form == kMulti) {
    AppendUtf16Le(bytes, PoolText(input, data.text.b));
    bytes.insert(bytes.end(), {0, 0, 0, 0});
  }
  return bytes;
}

// Writes values into the key at path; `first` and `second` are the names the walk reads there.
void SetValues(winhost::Registry& registry, const Input& input, const std::u16string& path,
               const std::vector<NamedValue>& values, std::u16string_view first, std::u16string_view second) {
  for (const auto& value : values) {
    std::u16string name;
    switch (value.nameKind) {
      case kFirstName: name = first; break;
      case kSecondName: name = second; break;
      case kFirstNameUpper: name = AsciiCase(std::u16string(first), true); break;
      default: name = Resolve(input, value.name); break;
    }
    registry.SetValue(winhost::Root::LocalMachine, path, name, kValueTypes[value.data.type % 6],
                      DataBytes(input, value.data));
  }
}

std::u16string Sibling(std::u16string name, char16_t last) {
  name.back() = last;
  return name;
}

}  // namespace

void Writer::Bytes(std::string& bytes, std::size_t maxLength) {
  CHECK_THAT(bytes.size() <= maxLength, "a seed string fits its field");
  for (const char c : bytes) {
    front_.push_back(static_cast<std::uint8_t>(c));
    if (c == '\\') front_.push_back('\\');
  }
  if (bytes.size() < maxLength) front_.insert(front_.end(), {'\\', 'x'});
}

std::vector<std::uint8_t> Writer::Finish() const {
  std::vector<std::uint8_t> data(front_);
  data.insert(data.end(), back_.rbegin(), back_.rend());
  return data;
}

unsigned CodePage(const Input& input) { return (input.flags & kCodePage932) != 0 ? 932 : 1252; }

std::u16string Resolve(const Input& input, const Text& text) {
  auto a = PoolText(input, text.a);
  const std::size_t n = text.n;
  switch (text.op) {
    case kFirst: return a.substr(0, n);
    case kLast: return a.substr(a.size() - std::min(n, a.size()));
    case kConcat: return a + PoolText(input, text.b);
    case kUpper: return AsciiCase(std::move(a), true);
    case kLower: return AsciiCase(std::move(a), false);
    case kRepeat: {
      if (a.empty()) return a;
      std::u16string repeated;
      while (repeated.size() < n) repeated += a;
      repeated.resize(n);
      return repeated;
    }
    default: return a;
  }
}

std::u16string ProductId(const Input& input) {
  return (input.flags & kFuzzedProduct) != 0 ? Resolve(input, input.productId) : u"4B31";
}

std::shared_ptr<winhost::Registry> Build(const Input& input) {
  auto registry = std::make_shared<winhost::Registry>();
  auto& r = *registry;
  const auto root = winhost::Root::LocalMachine;
  const auto product = ProductId(input);
  const auto interfaceKey = [&](char16_t digit) {
    auto name = u"Vid_7c1f&Pid_" + product + u"&MI_0" + digit;
    if (input.spelling != kAsWritten) name = AsciiCase(std::move(name), input.spelling == kAllUpper);
    return Join(kUsb, KeyName(std::move(name)));
  };
  const std::u16string interfaces[3] = {interfaceKey(u'0'), interfaceKey(u'1'), interfaceKey(u'2')};
  for (int i = 0; i < 3; ++i) {
    if ((input.flags & (kInterface0 << i)) != 0) r.CreateKey(root, interfaces[i]);
  }
  for (const auto& other : input.otherUsbKeys) r.CreateKey(root, Join(kUsb, KeyName(Resolve(input, other))));

  for (const auto& instance : input.instances) {
    const auto name0 = KeyName(Resolve(input, instance.name));
    const bool own = (instance.keys & kOwnSiblingNames) != 0;
    const auto name1 = own ? KeyName(Resolve(input, instance.name1)) : Sibling(name0, u'1');
    const auto name2 = own ? KeyName(Resolve(input, instance.name2)) : Sibling(name0, u'2');
    if ((input.flags & kInterface0) != 0) {
      auto path = Join(interfaces[0], name0);
      r.CreateKey(root, path);
      if ((instance.keys & kParameters0) != 0) path = Join(path, kDeviceParameters);
      r.CreateKey(root, path);
      SetValues(r, input, path, instance.values0, u"PortName", u"PortName");
    }
    if ((input.flags & kInterface1) != 0 && (instance.keys & kHasInterface1) != 0) {
      const auto path = Join(interfaces[1], name1);
      r.CreateKey(root, path);
      SetValues(r, input, path, instance.values1, u"ParentIdPrefix", u"ParentIdPrefix");
    }
    if ((input.flags & kInterface2) != 0 && (instance.keys & kHasInterface2) != 0) {
      auto path = Join(interfaces[2], name2);
      r.CreateKey(root, path);
      if ((instance.keys & kParameters2) != 0) path = Join(path, kDeviceParameters);
      r.CreateKey(root, path);
      SetValues(r, input, path, instance.values2, u"PortName", u"PortName");
    }
  }

  if ((input.flags & kUsbPrint) != 0) {
    r.CreateKey(root, kUsbPrintKey);
    for (const auto& model : input.models) {
      const auto modelPath = Join(kUsbPrintKey, KeyName(Resolve(input, model.name)));
      r.CreateKey(root, modelPath);
      for (const auto& instance : model.instances) r.CreateKey(root, Join(modelPath, KeyName(Resolve(input, instance))));
    }
  }
  if ((input.flags & kPrinters) != 0) {
    r.CreateKey(root, kPrintersKey);
    for (const auto& printer : input.printers) {
      const auto path = Join(kPrintersKey, KeyName(Resolve(input, printer.key)));
      r.CreateKey(root, path);
      SetValues(r, input, path, printer.values, u"Port", u"Name");
    }
  }
  if ((input.flags & kSerialComm) != 0) {
    r.CreateKey(root, kSerialCommKey);
    SetValues(r, input, std::u16string(kSerialCommKey), input.serialPorts, u"\\Device\\KvSerial0",
              u"\\Device\\Serial0");
  }
  return registry;
}

}  // namespace walkfuzz
