#include "support/lzw_encoder.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

namespace kzr::test {
namespace {

constexpr std::uint32_t kEndCode = 256;
constexpr std::uint32_t kFirstEntry = 257;
constexpr std::uint8_t kSlackFiller = 0xFF;  // would read as codes, were it read

unsigned BitLength(std::uint32_t n) {
  unsigned bits = 0;
  for (; n != 0; n >>= 1) ++bits;
  return bits;
}

void AppendU32(LzwBytes& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// (prefix code, next byte) -> code, open addressing. A generation stamp per
// slot empties the table for each block without clearing it.
class EntryTable {
 public:
  explicit EntryTable(std::size_t entries) {
    while (capacity_ < 2 * entries + 2) capacity_ <<= 1;
    slots_.resize(capacity_);
  }

  void Clear() { ++stamp_; }

  bool Find(std::uint32_t key, std::uint32_t& code) const {
    for (std::size_t i = Hash(key);; i = (i + 1) & (capacity_ - 1)) {
      const Slot& slot = slots_[i];
      if (slot.stamp != stamp_) return false;
      if (slot.key == key) {
        code = slot.code;
        return true;
      }
    }
  }

  void Insert(std::uint32_t key, std::uint32_t code) {
    std::size_t i = Hash(key);
    while (slots_[i].stamp == stamp_) i = (i + 1) & (capacity_ - 1);
    slots_[i] = Slot{key, code, stamp_};
  }

 private:
  struct Slot {
    std::uint32_t key = 0;
    std::uint32_t code = 0;
    std::uint32_t stamp = 0;
  };

  std::size_t Hash(std::uint32_t key) const {
    return static_cast<std::size_t>(key * 0x9E3779B1u) & (capacity_ - 1);
  }

  std::size_t capacity_ = 16;
  std::vector<Slot> slots_;
  std::uint32_t stamp_ = 1;
};

}  // namespace

void BitWriter::Put(std::uint32_t value, unsigned width) {
  unsigned done = 0;
  while (done < width) {
    const unsigned used = static_cast<unsigned>(bit_count_ % 8);
    if (used == 0) bytes_.push_back(0);
    const unsigned take = std::min(8 - used, width - done);
    const std::uint32_t bits = (value >> done) & ((1u << take) - 1);
    bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | bits << used);
    done += take;
    bit_count_ += take;
  }
}

void LzwPayloadWriter::Code(std::uint32_t code) {
  ++codes_;
  bits_.Put(code, BitLength(256 + codes_));
}

void LzwPayloadWriter::End() { bits_.Put(kEndCode, width()); }

unsigned LzwPayloadWriter::width() const { return BitLength(256 + codes_); }

LzwBytes MakeLzwBlock(const LzwBytes& payload, std::uint32_t payload_length, std::uint32_t word0,
                      std::uint32_t word8) {
  LzwBytes block;
  block.reserve(12 + payload.size());
  AppendU32(block, word0);
  AppendU32(block, payload_length);
  AppendU32(block, word8);
  block.insert(block.end(), payload.begin(), payload.end());
  return block;
}

LzwBytes MakeLzwBlock(const LzwBytes& payload) {
  return MakeLzwBlock(payload, static_cast<std::uint32_t>(payload.size()));
}

LzwBytes EncodeLzw(const std::uint8_t* data, std::size_t size, const LzwEncodeOptions& options) {
  const std::uint32_t max_codes = std::clamp<std::uint32_t>(options.max_block_codes, 1,
                                                            kLzwMaxBlockCodes);
  EntryTable table(std::min<std::size_t>(size, max_codes));
  LzwBytes stream;
  std::size_t i = 0;
  do {
    table.Clear();
    LzwPayloadWriter writer;
    if (i < size) {
      std::uint32_t current = data[i++];
      std::uint32_t next_entry = kFirstEntry;
      for (;;) {
        std::uint32_t found;
        if (i < size && table.Find(current << 8 | data[i], found)) {
          current = found;
          ++i;
          continue;
        }
        writer.Code(current);
        if (i == size || writer.codes() == max_codes) break;
        // The decoder makes this entry when it reads the next code.
        table.Insert(current << 8 | data[i], next_entry++);
        current = data[i++];
      }
    }
    writer.End();
    LzwBytes payload = writer.bytes();
    payload.insert(payload.end(), options.slack, kSlackFiller);
    const LzwBytes block = MakeLzwBlock(payload, static_cast<std::uint32_t>(payload.size()),
                                        options.word0, options.word8);
    stream.insert(stream.end(), block.begin(), block.end());
  } while (i < size);
  return stream;
}

LzwBytes SampleText(std::size_t size, std::uint32_t seed) {
  // A vocabulary of 3,000 made-up words of 1 to 4 syllables, drawn with a
  // skewed frequency (rank r about as often as 1/r), in lines of prose and
  // the odd "key=value" line: LZW shrinks it to about 40 %.
  static const char* const kSyllables[] = {
      "ka", "ro", "ven", "ta", "mi", "lor", "an", "de", "sil", "ur", "to", "ma", "es", "gar",
      "bi", "on", "thu", "re", "ne", "qua", "li", "dor", "sa", "fen", "o", "is", "wen", "hal"};
  std::mt19937 random(seed);
  auto next = [&random] { return static_cast<std::uint32_t>(random()); };
  std::vector<std::string> words(3000);
  for (std::string& word : words) {
    for (std::uint32_t n = 1 + next() % 4; n != 0; --n) word += kSyllables[next() % std::size(kSyllables)];
  }
  LzwBytes text;
  text.reserve(size + 64);
  while (text.size() < size) {
    if (next() % 16 == 0) {
      const std::string line = words[next() % 200] + "=" + std::to_string(next() % 100000) + "\n";
      text.insert(text.end(), line.begin(), line.end());
      continue;
    }
    for (std::uint32_t n = 4 + next() % 12; n != 0; --n) {
      // 1/r frequency: rank = exp(uniform * ln 3000) - 1.
      const double u = static_cast<double>(next()) / 4294967296.0;
      const auto rank = static_cast<std::size_t>(std::exp(u * std::log(3000.0))) - 1;
      text.insert(text.end(), words[rank].begin(), words[rank].end());
      const std::uint32_t roll = next() % 100;
      text.push_back(roll < 6 ? ',' : ' ');
    }
    text.back() = '.';
    text.push_back('\n');
  }
  text.resize(size);
  return text;
}

LzwBytes SampleRecords(std::size_t size, std::uint32_t seed) {
  // 32-byte records: a serial, an id from a list of 500, two 16-bit stats,
  // a position that wanders, float-ish values and flags: about 50 %.
  std::mt19937 random(seed);
  auto next = [&random] { return static_cast<std::uint32_t>(random()); };
  LzwBytes bytes;
  bytes.reserve(size + 32);
  std::uint32_t position = 0x00400000;
  for (std::uint32_t serial = 0; bytes.size() < size; ++serial) {
    position += next() % 4096;
    const std::uint32_t fields[] = {
        serial,
        10000 + next() % 500,
        (next() % 64) | (next() % 16 * 100) << 16,
        position,
        0x3F800000u + (next() % 256 << 12),
        next() % 8 == 0 ? next() : 0u,
    };
    for (std::uint32_t field : fields) AppendU32(bytes, field);
    const auto flags = static_cast<std::uint8_t>(next() % 5);
    for (int i = 0; i < 8; ++i) bytes.push_back(i < 2 ? flags : 0);
  }
  bytes.resize(size);
  return bytes;
}

LzwBytes SampleRuns(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  LzwBytes bytes;
  bytes.reserve(size + 70000);
  while (bytes.size() < size) {
    if (random() % 2 == 0) {
      bytes.insert(bytes.end(), 1000 + random() % 60000, static_cast<std::uint8_t>(random() % 4));
    } else {
      const std::uint8_t pattern[] = {0x00, 0xFF, 0x10, static_cast<std::uint8_t>(random())};
      for (std::uint32_t n = 500 + random() % 5000; n != 0; --n) {
        bytes.insert(bytes.end(), std::begin(pattern), std::end(pattern));
      }
    }
  }
  bytes.resize(size);
  return bytes;
}

}  // namespace kzr::test
