// The module's resources read back from the built DLL, byte by byte: the
// About box's dialog template, its picture and the version block, all in
// language 0x0405. The expected values are written out here, not taken from
// the resource script.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "support/plugin_module.h"

namespace kzr::test {
namespace {

constexpr WORD kCzech = MAKELANGID(0x05, 0x01);

struct Resource {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

Resource Find(LPCSTR type, int id) {
  HMODULE module = PluginModule();
  HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), kCzech);
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return {};
  return {static_cast<const std::uint8_t*>(LockResource(loaded)), SizeofResource(module, found)};
}

// Little-endian fields of a resource, in order. Reading past the end yields
// zeros and marks the reader as overrun.
class Reader {
 public:
  explicit Reader(Resource resource) : data_(resource.data), size_(resource.size) {}

  std::uint16_t Word() { return static_cast<std::uint16_t>(Bytes(2)); }
  std::uint32_t Dword() { return static_cast<std::uint32_t>(Bytes(4)); }
  std::int16_t Short() { return static_cast<std::int16_t>(Word()); }

  // A NUL-terminated UTF-16 string, without its NUL.
  std::u16string Text() {
    std::u16string text;
    while (!overrun_) {
      const char16_t c = Word();
      if (c == 0) break;
      text.push_back(c);
    }
    return text;
  }

  std::vector<std::uint8_t> Raw(std::size_t count) {
    std::vector<std::uint8_t> raw;
    for (std::size_t i = 0; i < count && !overrun_; ++i)
      raw.push_back(static_cast<std::uint8_t>(Bytes(1)));
    return raw;
  }

  void AlignToDword() { position_ = (position_ + 3) & ~std::size_t{3}; }
  std::size_t position() const { return position_; }
  std::size_t size() const { return size_; }
  bool overrun() const { return overrun_; }

 private:
  std::uint64_t Bytes(std::size_t count) {
    if (position_ + count > size_) {
      overrun_ = true;
      return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value |= std::uint64_t{data_[position_ + i]} << (8 * i);
    position_ += count;
    return value;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
  bool overrun_ = false;
};

using ResourceKey = std::tuple<int, int, int>;  // type, id, language
using ResourceKeys = std::set<ResourceKey>;

int Number(LPCSTR id) { return IS_INTRESOURCE(id) ? static_cast<int>(LOWORD(id)) : -1; }

BOOL CALLBACK OnLanguage(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR keys) {
  reinterpret_cast<ResourceKeys*>(keys)->insert({Number(type), Number(name), language});
  return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR keys) {
  EnumResourceLanguagesA(module, type, name, OnLanguage, keys);
  return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR keys) {
  EnumResourceNamesA(module, type, OnName, keys);
  return TRUE;
}

TEST(ModuleResources, AreTheDialogTheBitmapAndTheVersionBlockInCzechOnly) {
  ResourceKeys found;
  EnumResourceTypesA(PluginModule(), OnType, reinterpret_cast<LONG_PTR>(&found));
  const ResourceKeys expected = {
      {2, 102, 0x0405},  // RT_BITMAP
      {5, 101, 0x0405},  // RT_DIALOG
      {16, 1, 0x0405},   // RT_VERSION
  };
  EXPECT_EQ(found, expected);
}

struct ExpectedControl {
  std::uint32_t style;
  std::int16_t x, y, cx, cy;
  std::uint16_t id;
  std::uint16_t class_atom;
};

TEST(DialogTemplate, IsTheClassicAboutBoxTemplate) {
  Reader dialog(Find(RT_DIALOG, 101));
  ASSERT_GT(dialog.size(), 0u) << "no dialog 101 in language 0x0405";

  EXPECT_EQ(dialog.Dword(), 0x800808C8u) << "style (a DIALOGEX template starts 1, 0xFFFF)";
  EXPECT_EQ(dialog.Dword(), 0u) << "extended style";
  EXPECT_EQ(dialog.Word(), 4) << "control count";
  EXPECT_EQ(dialog.Short(), 0);
  EXPECT_EQ(dialog.Short(), 0);
  EXPECT_EQ(dialog.Short(), 127);
  EXPECT_EQ(dialog.Short(), 73);
  EXPECT_EQ(dialog.Word(), 0) << "no menu";
  EXPECT_EQ(dialog.Word(), 0) << "the default dialog class";
  EXPECT_EQ(dialog.Text(), u"") << "no title";
  EXPECT_EQ(dialog.Word(), 8) << "font size";
  EXPECT_EQ(dialog.Text(), u"MS Shell Dlg");

  const ExpectedControl controls[] = {
      {0x50010001, 39, 52, 50, 14, 1, 0x0080},
      {0x50020001, 6, 7, 114, 17, 0xFFFF, 0x0082},
      {0x50000081, 6, 31, 114, 20, 0xFFFF, 0x0082},
      {0x5000080E, 6, 18, 21, 20, 0xFFFF, 0x0082},
  };
  std::vector<std::u16string> texts;
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE("control " + std::to_string(i + 1));
    const ExpectedControl& want = controls[i];
    dialog.AlignToDword();
    EXPECT_EQ(dialog.Dword(), want.style);
    EXPECT_EQ(dialog.Dword(), 0u) << "extended style";
    EXPECT_EQ(dialog.Short(), want.x);
    EXPECT_EQ(dialog.Short(), want.y);
    EXPECT_EQ(dialog.Short(), want.cx);
    EXPECT_EQ(dialog.Short(), want.cy);
    EXPECT_EQ(dialog.Word(), want.id);
    EXPECT_EQ(dialog.Word(), 0xFFFF) << "the class is a predefined atom, not a name";
    EXPECT_EQ(dialog.Word(), want.class_atom);
    if (i == 3) {
      EXPECT_EQ(dialog.Word(), 0xFFFF) << "the picture is named by number";
      EXPECT_EQ(dialog.Word(), 102);
    } else {
      texts.push_back(dialog.Text());
    }
    EXPECT_EQ(dialog.Word(), 0) << "creation data";
  }
  ASSERT_FALSE(dialog.overrun());
  EXPECT_LT(dialog.size() - dialog.position(), 4u) << "nothing after the last control";

  EXPECT_EQ(texts[0], u"OK");
  EXPECT_EQ(texts[1], u"Korvanta kzr archives plug-in \n for Total Commander");
  // The credit: two non-empty lines joined by one line feed.
  const std::u16string& credit = texts[2];
  const std::size_t feed = credit.find(u'\n');
  ASSERT_NE(feed, std::u16string::npos);
  EXPECT_GT(feed, 0u);
  EXPECT_LT(feed + 1, credit.size());
  EXPECT_EQ(credit.find(u'\n', feed + 1), std::u16string::npos);
  EXPECT_EQ(credit.find(u'\r'), std::u16string::npos);
}

TEST(Bitmap, IsA32By32TwentyFourBitDibWithAPicture) {
  const Resource resource = Find(RT_BITMAP, 102);
  ASSERT_EQ(resource.size, 3112u) << "40-byte header and 3072 pixel bytes, no file header";
  Reader header(resource);
  EXPECT_EQ(header.Dword(), 40u);
  EXPECT_EQ(header.Dword(), 32u) << "width";
  EXPECT_EQ(header.Dword(), 32u) << "height, positive: bottom-up";
  EXPECT_EQ(header.Word(), 1) << "planes";
  EXPECT_EQ(header.Word(), 24) << "bits per pixel";
  EXPECT_EQ(header.Dword(), 0u) << "BI_RGB";
  EXPECT_EQ(header.Dword(), 3072u) << "image size";
  EXPECT_EQ(header.Dword(), 0u) << "horizontal resolution";
  EXPECT_EQ(header.Dword(), 0u) << "vertical resolution";
  EXPECT_EQ(header.Dword(), 0u) << "colours used";
  EXPECT_EQ(header.Dword(), 0u) << "colours important";

  std::set<std::uint32_t> colours;
  for (std::size_t i = 40; i < resource.size; i += 3) {
    colours.insert(resource.data[i] | resource.data[i + 1] << 8 | resource.data[i + 2] << 16);
  }
  EXPECT_GE(colours.size(), 8u) << "a picture, not a blank";
}

// One node of the version block: length, value length, type, key, value,
// children, each part DWORD-aligned.
struct VersionNode {
  std::u16string key;
  std::uint16_t type = 0;
  std::vector<std::uint8_t> value;
  std::vector<VersionNode> children;
};

VersionNode ParseVersionNode(Reader& reader) {
  reader.AlignToDword();
  const std::size_t start = reader.position();
  VersionNode node;
  const std::size_t length = reader.Word();
  const std::size_t value_length = reader.Word();
  node.type = reader.Word();
  node.key = reader.Text();
  reader.AlignToDword();
  // A text value's length counts UTF-16 units, a binary one's bytes.
  node.value = reader.Raw(node.type == 1 ? value_length * 2 : value_length);
  reader.AlignToDword();
  while (reader.position() < start + length && !reader.overrun()) {
    node.children.push_back(ParseVersionNode(reader));
  }
  EXPECT_LE(reader.position(), start + length) << "children overrun their parent";
  return node;
}

std::u16string TextValue(const VersionNode& node) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < node.value.size(); i += 2) {
    text.push_back(static_cast<char16_t>(node.value[i] | node.value[i + 1] << 8));
  }
  EXPECT_TRUE(!text.empty() && text.back() == u'\0') << "values end with a NUL";
  if (!text.empty()) text.pop_back();
  return text;
}

std::uint32_t DwordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
         static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

TEST(VersionBlock, HoldsTheFixedInfoTheStringsInOrderAndTheTranslation) {
  Reader reader(Find(RT_VERSION, 1));
  ASSERT_GT(reader.size(), 0u) << "no version block 1 in language 0x0405";
  const VersionNode root = ParseVersionNode(reader);
  ASSERT_FALSE(reader.overrun());
  EXPECT_EQ(root.key, u"VS_VERSION_INFO");

  ASSERT_EQ(root.value.size(), 52u) << "VS_FIXEDFILEINFO";
  const std::uint32_t fixed[] = {
      0xFEEF04BD,              // signature
      0x00010000,              // structure version
      0x00000009, 0x00000001,  // file version 0.9.0.1
      0x00000009, 0x00000001,  // product version 0.9.0.1
      0x17,       0,           // flags mask, flags
      4,                       // 32-bit Windows
      2,          0,           // a DLL, no subtype
      0,          0,           // no date
  };
  for (std::size_t i = 0; i < 13; ++i) {
    EXPECT_EQ(DwordAt(root.value, 4 * i), fixed[i]) << "VS_FIXEDFILEINFO field " << i;
  }

  ASSERT_EQ(root.children.size(), 2u);
  const VersionNode& strings = root.children[0];
  EXPECT_EQ(strings.key, u"StringFileInfo");
  ASSERT_EQ(strings.children.size(), 1u) << "one string table";
  const VersionNode& table = strings.children[0];
  EXPECT_EQ(table.key, u"000004b0");

  const std::pair<std::u16string, std::u16string> expected[] = {
      {u"Comments", u"Add support for KZR archives to Total Commander"},
      {u"FileDescription", u"KZR plugin for TotalCommander"},
      {u"FileVersion", u"0.9.0.1"},
      {u"InternalName", u"KZR"},
      {u"OriginalFilename", u"KZR.wcx"},
      {u"ProductName", u"KZR"},
      {u"ProductVersion", u"0.9.0.1"},
  };
  ASSERT_EQ(table.children.size(), 7u);
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(table.children[i].key, expected[i].first) << "string " << i;
    EXPECT_EQ(table.children[i].type, 1) << "string " << i;
    EXPECT_EQ(TextValue(table.children[i]), expected[i].second) << "string " << i;
  }

  const VersionNode& vars = root.children[1];
  EXPECT_EQ(vars.key, u"VarFileInfo");
  ASSERT_EQ(vars.children.size(), 1u);
  EXPECT_EQ(vars.children[0].key, u"Translation");
  EXPECT_EQ(vars.children[0].type, 0) << "binary";
  EXPECT_EQ(vars.children[0].value, (std::vector<std::uint8_t>{0x00, 0x00, 0xB0, 0x04}))
      << "language 0x0000, code page 0x04B0";
}

}  // namespace
}  // namespace kzr::test
