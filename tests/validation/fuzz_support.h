// Deterministic generators shared by the validation programs: a small
// random-number source whose sequence does not depend on the standard
// library's distributions, and INI files that range from clean to hostile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace validation {

// SplitMix64: the same seed gives the same sequence with every toolchain.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1; n must be positive.
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
  std::size_t Index(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  bool Percent(int p) { return Below(100) < p; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Index(items.size())];
  }

 private:
  std::uint64_t state_;
};

// One generated settings file. `Clean` files hold one [Setting] section with
// plain ASCII values and CRLF line ends, so their loaded values can be
// predicted key by key; `Expected*` are then filled by the generator from
// the values it wrote (a key it left out keeps the built-in default).
struct IniCase {
  std::string Bytes;
  std::string Kind;
  bool Clean = false;
  bool ExpectedAuto = true;
  bool ExpectedEnabled = true;
  int ExpectedUnit = 0;
  double ExpectedSeconds = 3.0;
  int ExpectedFrames = 90;
  int ExpectedFit = 1;
  int ExpectedAlign = 4;
};

namespace detail {

inline const std::vector<std::string> kLineEnds = {"\r\n", "\n", "\r", "\n\r", "\r\r\n"};

inline const std::vector<std::string> kKeys = {"Auto",   "Enabled", "Unit", "Seconds",
                                               "Frames", "Fit",     "Align"};

// Values no key should survive as they stand, or that sit on a range edge.
inline const std::vector<std::string> kHostileValues = {
    "",
    "0",
    "1",
    "-1",
    "2",
    "4",
    "5",
    "8",
    "9",
    "2147483647",
    "2147483648",
    "-2147483648",
    "-2147483649",
    "4294967295",
    "4294967296",
    "99999999999999999999999999",
    "-0",
    "+7",
    "0x10",
    "010",
    " 3 ",
    "\t4",
    "1e1",
    "1e999",
    "-1e999",
    "1e-999",
    "nan",
    "NaN",
    "inf",
    "-inf",
    "infinity",
    "2.5s",
    "abc",
    "\"5\"",
    "5;c",
    "=",
    "==3",
    "\xef\xbc\x93",
    "\xff\xfe",
    "\xc3",
    "0.0000000000000000000000000000000000000000000000000000000000000001",
    "3.0000000000000000000000000000000000000000000000000000000000000000000000000009",
    "0x1p-1074",
    "4.9e-324",
    "1.7976931348623157e308",
    "2e308",
    "-0.0",
    "0e0",
    "."};

inline std::string Utf16Le(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

inline std::string Utf16Be(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    out.push_back('\0');
    out.push_back(c);
  }
  return out;
}

inline std::string RandomBytes(Rng& rng, int count) {
  std::string out;
  for (int i = 0; i < count; ++i)
    out.push_back(static_cast<char>(rng.Below(256)));
  return out;
}

inline std::string MixedCase(Rng& rng, const std::string& key) {
  std::string out = key;
  for (char& c : out) {
    if (rng.Percent(30)) c = static_cast<char>(c ^ 0x20);
  }
  return out;
}

struct CleanValue {
  const char* Text;
  double Loaded;  // what the field holds after loading
};

// Clean values per key and what loading them gives; a key absent from the
// file gives the built-in default.
inline const std::vector<std::vector<CleanValue>> kClean = {
    {{"0", 0}, {"1", 1}, {"2", 1}, {"-1", 1}, {"7", 1}},  // Auto
    {{"0", 0}, {"1", 1}, {"2", 1}, {"-3", 1}},            // Enabled
    {{"0", 0}, {"1", 1}, {"2", 0}, {"-1", 0}},            // Unit
    {{"3", 3},
     {"2.5", 2.5},
     {"0", 3},
     {"-1", 3},
     {"abc", 3},
     {"", 3},
     {"2.5s", 2.5},
     {"1e1", 10},
     {"0.04", 0.04},
     {"nan", 3},
     {"inf", 3},
     {"1e999", 3},
     {"1e-999", 3},
     {"7e2x", 700}},                                                            // Seconds
    {{"0", 90}, {"-5", 90}, {"1", 1}, {"12", 12}, {"2147483647", 2147483647}},  // Frames
    {{"0", 0}, {"4", 4}, {"5", 1}, {"-1", 1}, {"2", 2}},                        // Fit
    {{"0", 0}, {"8", 8}, {"9", 4}, {"-1", 4}, {"3", 3}},                        // Align
};

inline IniCase Clean(Rng& rng) {
  IniCase c;
  c.Kind = "clean";
  c.Clean = true;
  std::string text = "[Setting]\r\n";
  double loaded[7] = {1, 1, 0, 3.0, 90, 1, 4};
  for (int k = 0; k < 7; ++k) {
    if (rng.Percent(20)) continue;
    const CleanValue& v = rng.Pick(kClean[static_cast<std::size_t>(k)]);
    text += kKeys[static_cast<std::size_t>(k)] + "=" + v.Text + "\r\n";
    loaded[k] = v.Loaded;
  }
  if (rng.Percent(30)) text += "[Other]\r\nFit=3\r\nAlign=1\r\n";
  c.Bytes = text;
  c.ExpectedAuto = loaded[0] != 0;
  c.ExpectedEnabled = loaded[1] != 0;
  c.ExpectedUnit = static_cast<int>(loaded[2]);
  c.ExpectedSeconds = loaded[3];
  c.ExpectedFrames = static_cast<int>(loaded[4]);
  c.ExpectedFit = static_cast<int>(loaded[5]);
  c.ExpectedAlign = static_cast<int>(loaded[6]);
  return c;
}

inline std::string HostileText(Rng& rng) {
  const std::string& end = rng.Pick(kLineEnds);
  std::string text;
  int lines = 1 + rng.Below(14);
  for (int i = 0; i < lines; ++i) {
    switch (rng.Below(9)) {
      case 0:
        text.append("[")
            .append(rng.Percent(50) ? "Setting" : MixedCase(rng, "Setting"))
            .append("]");
        break;
      case 1:
        text.append(rng.Percent(50) ? "; " : "[Other]");
        if (text.back() == ' ') text.append(RandomBytes(rng, rng.Below(20)));
        break;
      case 2: text += rng.Percent(50) ? "[Setting" : "Setting]"; break;
      case 3: text += RandomBytes(rng, rng.Below(40)); break;
      default: {
        std::string key = MixedCase(rng, rng.Pick(kKeys));
        std::string value = rng.Pick(kHostileValues);
        if (rng.Percent(10))
          value = std::string(static_cast<std::size_t>(1 + rng.Below(5000)), '9');
        if (rng.Percent(10)) value += RandomBytes(rng, rng.Below(8));
        // Drawn in this order so that each seed still gives the files it gave.
        const char* equals = rng.Percent(20) ? " = " : "=";
        const char* indent = rng.Percent(20) ? "  " : "";
        text.append(indent).append(key).append(equals).append(value);
      }
    }
    // A line cut short, or no line end at the very end of the file.
    if (i + 1 < lines || rng.Percent(50)) text += rng.Percent(10) ? rng.Pick(kLineEnds) : end;
  }
  if (rng.Percent(15)) text.resize(rng.Index(text.size() + 1));
  return text;
}

}  // namespace detail

inline IniCase GenerateIni(Rng& rng) {
  using namespace detail;
  int roll = rng.Below(100);
  if (roll < 30) return Clean(rng);
  IniCase c;
  if (roll < 40) {
    c.Kind = "random bytes";
    c.Bytes = RandomBytes(rng, rng.Below(700));
  } else if (roll < 45) {
    c.Kind = "section then random bytes";
    c.Bytes = "[Setting]\r\n" + RandomBytes(rng, rng.Below(300));
  } else if (roll < 48) {
    c.Kind = "empty";
  } else if (roll < 50) {
    c.Kind = "huge";
    c.Bytes = "[Setting]\r\nFrames=" + std::string(200000, '7') +
              "\r\nSeconds=" + std::string(100000, '1') + "\r\nFit=" + std::string(70000, '0') +
              "4\r\n";
  } else if (roll < 65) {
    c.Kind = "utf-8 with byte-order mark";
    c.Bytes = "\xef\xbb\xbf" + HostileText(rng);
  } else if (roll < 78) {
    c.Kind = "utf-16le";
    c.Bytes =
        (rng.Percent(80) ? std::string("\xff\xfe") : std::string()) + Utf16Le(HostileText(rng));
    if (rng.Percent(10)) c.Bytes.pop_back();  // odd length
  } else if (roll < 81) {
    c.Kind = "utf-16be";
    c.Bytes = "\xfe\xff" + Utf16Be(HostileText(rng));
  } else {
    c.Kind = "hostile text";
    c.Bytes = HostileText(rng);
  }
  return c;
}

}  // namespace validation
