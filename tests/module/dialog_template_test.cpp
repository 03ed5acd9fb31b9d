// The settings dialog's template as compiled into Velmora.aux2: read back
// from the built module, byte by byte, and held to the layout the dialog code
// and its users rely on (ids, classes, styles, positions, texts, tab order).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/module_fixture.h"

namespace {

constexpr WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
constexpr int kDialogId = 100;
constexpr DWORD kNoId = 0xFFFFFFFF;  // -1 as the extended template stores it

// A name-or-ordinal field of a dialog template.
struct Name {
  bool isOrdinal = false;
  WORD ordinal = 0;
  std::wstring text;
};

struct Item {
  DWORD helpId, exStyle, style;
  short x, y, cx, cy;
  DWORD id;
  Name windowClass, title;
  WORD extraBytes;
};

struct Template {
  WORD version, signature;
  DWORD helpId, exStyle, style;
  WORD count;
  short x, y, cx, cy;
  Name menu, windowClass;
  std::wstring title;
  WORD pointSize, weight;
  BYTE italic, charset;
  std::wstring typeface;
  std::vector<Item> items;
  std::size_t bytesUsed;
};

// Reads little-endian fields from a resource, refusing to run past its end.
class Reader {
 public:
  Reader(const BYTE* data, std::size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  std::size_t offset() const { return offset_; }

  template <typename T>
  T Read() {
    T value{};
    if (offset_ + sizeof(T) > size_) {
      ok_ = false;
      return value;
    }
    std::memcpy(&value, data_ + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }
  std::wstring String() {
    std::wstring text;
    for (;;) {
      auto unit = Read<WORD>();
      if (!ok_ || unit == 0) return text;
      text.push_back(static_cast<wchar_t>(unit));
    }
  }
  Name NameOrOrdinal() {
    Name name;
    WORD first = Read<WORD>();
    if (first == 0xFFFF) {
      name.isOrdinal = true;
      name.ordinal = Read<WORD>();
    } else if (first != 0) {
      offset_ -= sizeof(WORD);
      name.text = String();
    }
    return name;
  }
  void AlignTo(std::size_t boundary) { offset_ = (offset_ + boundary - 1) / boundary * boundary; }
  void Skip(std::size_t bytes) {
    if (offset_ + bytes > size_) ok_ = false;
    offset_ += bytes;
  }

 private:
  const BYTE* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
  bool ok_ = true;
};

std::optional<Template> Parse(const BYTE* data, std::size_t size) {
  Reader r(data, size);
  Template t{};
  t.version = r.Read<WORD>();
  t.signature = r.Read<WORD>();
  if (t.version != 1 || t.signature != 0xFFFF) return std::nullopt;  // not extended
  t.helpId = r.Read<DWORD>();
  t.exStyle = r.Read<DWORD>();
  t.style = r.Read<DWORD>();
  t.count = r.Read<WORD>();
  t.x = r.Read<short>();
  t.y = r.Read<short>();
  t.cx = r.Read<short>();
  t.cy = r.Read<short>();
  t.menu = r.NameOrOrdinal();
  t.windowClass = r.NameOrOrdinal();
  t.title = r.String();
  if (t.style & (DS_SETFONT | DS_SHELLFONT)) {
    t.pointSize = r.Read<WORD>();
    t.weight = r.Read<WORD>();
    t.italic = r.Read<BYTE>();
    t.charset = r.Read<BYTE>();
    t.typeface = r.String();
  }
  for (WORD i = 0; i < t.count && r.ok(); ++i) {
    r.AlignTo(4);
    Item item{};
    item.helpId = r.Read<DWORD>();
    item.exStyle = r.Read<DWORD>();
    item.style = r.Read<DWORD>();
    item.x = r.Read<short>();
    item.y = r.Read<short>();
    item.cx = r.Read<short>();
    item.cy = r.Read<short>();
    item.id = r.Read<DWORD>();
    item.windowClass = r.NameOrOrdinal();
    item.title = r.NameOrOrdinal();
    item.extraBytes = r.Read<WORD>();
    r.Skip(item.extraBytes);
    t.items.push_back(item);
  }
  if (!r.ok()) return std::nullopt;
  t.bytesUsed = r.offset();
  return t;
}

// The predefined classes by the ordinal a resource compiler may store instead
// of the name; both mean the same class to the dialog manager.
const wchar_t* ClassName(WORD ordinal) {
  switch (ordinal) {
    case 0x0080: return L"BUTTON";
    case 0x0081: return L"EDIT";
    case 0x0082: return L"STATIC";
    case 0x0085: return L"COMBOBOX";
    default: return nullptr;
  }
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text)
    c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

// The class a template item names, as an upper-case predefined name.
std::wstring ClassOf(const Name& name) {
  if (!name.isOrdinal) return Upper(name.text);
  const wchar_t* known = ClassName(name.ordinal);
  return known != nullptr ? known : L"#" + std::to_wstring(name.ordinal);
}

std::string Narrow(const std::wstring& text) { return hostsim::Utf8(text); }

struct ExpectedControl {
  DWORD id;
  const wchar_t* windowClass;
  DWORD style;
  short x, y, cx, cy;
  const wchar_t* text;
};

// Template order = tab order = radio-group boundaries.
const ExpectedControl kControls[] = {
    {1006, L"BUTTON", 0x50010003, 10, 10, 220, 12, L"画像を貼ったときに自動で揃える"},
    {kNoId, L"STATIC", 0x50020000, 22, 24, 208, 18,
     L"右クリックメニュー「画像の長さと大きさを揃える」で、\n"
     L"選んだ画像をあとから揃えることもできます。"},
    {kNoId, L"BUTTON", 0x50000007, 10, 46, 220, 66, L"長さ"},
    {1001, L"BUTTON", 0x50010003, 20, 58, 200, 12, L"長さを指定する"},
    {1002, L"BUTTON", 0x50020009, 30, 74, 50, 12, L"秒"},
    {1004, L"EDIT", 0x50810080, 90, 73, 60, 13, L""},
    {1003, L"BUTTON", 0x50000009, 30, 92, 50, 12, L"フレーム"},
    {1005, L"EDIT", 0x50812080, 90, 91, 60, 13, L""},
    {kNoId, L"BUTTON", 0x50000007, 10, 118, 220, 90, L"大きさと位置"},
    {kNoId, L"STATIC", 0x50020000, 20, 133, 40, 10, L"大きさ"},
    {1007, L"COMBOBOX", 0x50210003, 60, 131, 120, 100, L""},
    {kNoId, L"STATIC", 0x50020000, 20, 153, 40, 10, L"寄せ"},
    {1010, L"BUTTON", 0x50021009, 60, 150, 20, 16, L"\u25E4"},
    {1011, L"BUTTON", 0x50001009, 82, 150, 20, 16, L"\u25B2"},
    {1012, L"BUTTON", 0x50001009, 104, 150, 20, 16, L"\u25E5"},
    {1013, L"BUTTON", 0x50001009, 60, 168, 20, 16, L"\u25C0"},
    {1014, L"BUTTON", 0x50001009, 82, 168, 20, 16, L"\u25CF"},
    {1015, L"BUTTON", 0x50001009, 104, 168, 20, 16, L"\u25B6"},
    {1016, L"BUTTON", 0x50001009, 60, 186, 20, 16, L"\u25E3"},
    {1017, L"BUTTON", 0x50001009, 82, 186, 20, 16, L"\u25BC"},
    {1018, L"BUTTON", 0x50001009, 104, 186, 20, 16, L"\u25E2"},
    {kNoId, L"STATIC", 0x50020000, 132, 154, 94, 30,
     L"余白や、はみ出す部分が\nある向きに効きます。"},
    {1008, L"STATIC", 0x50020000, 10, 220, 110, 10, L""},
    {1, L"BUTTON", 0x50010001, 124, 216, 50, 14, L"OK"},
    {2, L"BUTTON", 0x50010000, 180, 216, 50, 14, L"キャンセル"},
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

class DialogTemplate : public testing::Test {
 protected:
  void SetUp() override {
    module_ =
        LoadLibraryExW(testsupport::BuiltModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << "cannot load " << Narrow(testsupport::BuiltModulePath());
    HRSRC found = FindResourceExW(module_, RT_DIALOG, MAKEINTRESOURCEW(kDialogId), kJapanese);
    ASSERT_NE(found, nullptr) << "no Japanese dialog 100";
    HGLOBAL loaded = LoadResource(module_, found);
    ASSERT_NE(loaded, nullptr);
    size_ = SizeofResource(module_, found);
    data_ = static_cast<const BYTE*>(LockResource(loaded));
    ASSERT_NE(data_, nullptr);
    parsed_ = Parse(data_, size_);
    ASSERT_TRUE(parsed_.has_value()) << "not a well-formed extended dialog template";
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  HMODULE module_ = nullptr;
  const BYTE* data_ = nullptr;
  std::size_t size_ = 0;
  std::optional<Template> parsed_;
};

TEST_F(DialogTemplate, IsTheOnlyLanguageOfDialog100) {
  std::vector<WORD> languages;
  EnumResourceLanguagesW(module_, RT_DIALOG, MAKEINTRESOURCEW(kDialogId), &CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  EXPECT_EQ(languages, std::vector<WORD>{kJapanese});
}

TEST_F(DialogTemplate, HeaderFrameAndFont) {
  const Template& t = *parsed_;
  EXPECT_EQ(t.helpId, 0u);
  EXPECT_EQ(t.exStyle, 0u);
  EXPECT_EQ(t.style, 0x80C808C0u);
  EXPECT_EQ(t.x, 0);
  EXPECT_EQ(t.y, 0);
  EXPECT_EQ(t.cx, 240);
  EXPECT_EQ(t.cy, 238);
  EXPECT_FALSE(t.menu.isOrdinal);
  EXPECT_TRUE(t.menu.text.empty()) << "no menu";
  EXPECT_FALSE(t.windowClass.isOrdinal);
  EXPECT_TRUE(t.windowClass.text.empty()) << "the standard dialog class";
  EXPECT_EQ(Narrow(t.title), "Velmora の設定");
  EXPECT_EQ(t.pointSize, 9);
  EXPECT_EQ(t.weight, 400);
  EXPECT_EQ(t.italic, 0);
  EXPECT_EQ(t.charset, 128);
  EXPECT_EQ(Narrow(t.typeface), "Yu Gothic UI");
}

TEST_F(DialogTemplate, EveryControlInOrder) {
  const Template& t = *parsed_;
  constexpr std::size_t expectedCount = sizeof kControls / sizeof kControls[0];
  ASSERT_EQ(t.count, expectedCount);
  ASSERT_EQ(t.items.size(), expectedCount);
  for (std::size_t i = 0; i < expectedCount; ++i) {
    const ExpectedControl& want = kControls[i];
    const Item& got = t.items[i];
    SCOPED_TRACE("control no. " + std::to_string(i + 1) + ", id " +
                 std::to_string(static_cast<std::int32_t>(want.id)));
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(Narrow(ClassOf(got.windowClass)), Narrow(want.windowClass));
    EXPECT_EQ(got.style, want.style) << std::hex << "0x" << got.style;
    EXPECT_EQ(got.exStyle, 0u);
    EXPECT_EQ(got.helpId, 0u);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_FALSE(got.title.isOrdinal);
    // Exact, so a two-line text stored with CR LF instead of one line feed fails.
    EXPECT_EQ(got.title.text, std::wstring(want.text)) << Narrow(got.title.text);
    EXPECT_EQ(got.extraBytes, 0);
  }
}

TEST_F(DialogTemplate, NothingFollowsTheLastControl) {
  // Padding to a DWORD boundary is all a compiler may add.
  EXPECT_LE(size_ - parsed_->bytesUsed, 3u);
}

}  // namespace
