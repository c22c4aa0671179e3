#include "codec/lzw_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/cpu_features.h"

namespace kzr {
namespace {

constexpr std::uint32_t kBlockHeaderSize = 12;
constexpr std::uint32_t kPayloadLengthOffset = 4;
constexpr std::uint32_t kEndCode = 256;
constexpr std::uint32_t kFirstEntry = 257;
constexpr unsigned kFirstWidth = 9;
constexpr unsigned kLastWidth = 17;
constexpr std::uint32_t kDictionarySize = std::uint32_t{1} << kLastWidth;
// How far a block's codes may run past its payload when another block follows.
constexpr std::uint32_t kOverlapAllowance = 3;
// A code of at most 17 bits at a shift of at most 7 lies in 3 bytes, and is
// read as a 4-byte word.
constexpr std::uint32_t kCodeSpan = 3;
constexpr std::uint32_t kCodeWord = 4;

// The longest string: the deepest chain, 2^17 - 258 entries over a literal.
constexpr std::uint32_t kLongestString = kDictionarySize - 257;
// Room behind the write position for the longest string and the junk that
// chunked copies leave after a string.
constexpr std::uint32_t kWriteReserve = kLongestString + 64;
// See HandOnDecoded (an eighth of the window in small windows).
constexpr std::uint32_t kHandOnSize = std::uint32_t{1} << 20;

// The window's first bytes hold the literals' strings (byte c at offset c,
// and slack for 16-byte chunks), so that every string is copied from the
// window alike; the output follows them. Literals are copied from there
// rather than from where they were last written, away from recent stores.
constexpr std::uint32_t kLiteralArea = 256 + 32;

// The offset of an entry whose string the window has slid past.
constexpr std::uint32_t kGone = ~std::uint32_t{0};

// Where a string lies in the window, and what it looks like. Literals keep
// their offset in the literal area; entries' offsets move with the window
// and become kGone when it slides past them.
struct Locator {
  std::uint32_t offset;
  std::uint32_t packed;  // length in bits 0-23 (at most kLongestString), first byte in bits 24-31
};

constexpr std::uint32_t kLengthMask = 0x00FF'FFFF;

constexpr std::uint32_t Pack(std::uint32_t length, std::uint32_t first_byte) {
  return length | first_byte << 24;
}

// The block's entries, and the codes it read: made[e] is the code whose
// reading added entry e, and made[256] the block's first code. So entry e is
// the string of made[e - 1] followed by the first byte of made[e]'s string,
// which is how a walk rebuilds a string no longer in the window. One
// allocation, so that the hot loop reaches both arrays from one base.
struct Dictionary {
  Locator locators[kDictionarySize];
  std::uint32_t made[kDictionarySize];
};

// Compilers turn this into one load on little-endian targets.
inline std::uint32_t LoadLittleEndian32(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void Copy16(std::uint8_t* destination, const std::uint8_t* source) noexcept {
  // Loads whole, then stores: source and destination may overlap. (A copy
  // through a local array leaves a dead store to the stack in 32-bit builds.)
  __builtin_memmove(destination, source, 16);
}

// Copies a string that ends at or before `destination` by 16-byte chunks,
// which may read past the string and write up to 15 bytes of junk after it;
// the window has room for that, and the next string overwrites it. Each
// chunk reads string bytes that lie before the destination, so none has
// been overwritten yet. (Inline chunks beat a call to memcpy for the usual
// lengths, and by far where memcpy goes without SSE2.)
inline void CopyString(std::uint8_t* destination, const std::uint8_t* source,
                       std::uint32_t length) noexcept {
  Copy16(destination, source);
  if (length > 16) [[unlikely]] {
    for (std::uint32_t at = 16; at < length; at += 16) Copy16(destination + at, source + at);
  }
}

struct SlowCode {
  Status status;
  std::uint32_t code;
  std::uint32_t bit;       // the code's bit position, relative to the input buffer
  std::uint32_t fast_end;  // see MemberDecoder::FastEnd
};

struct Buffers {
  Dictionary* dictionary;
  std::uint8_t* window;
  std::uint32_t window_size;
  std::uint8_t* input;
  std::uint32_t input_size;
};

// The state of one Decode call. Positions in the output are window offsets:
// the output byte at window offset kLiteralArea + i is member byte base_ + i.
// When the window fills, what is new goes to the sink and the last history_
// bytes slide to the front (at least the longest string, so the previous
// string always stays), and the entries' offsets slide with them.
class MemberDecoder {
 public:
  MemberDecoder(const Buffers& buffers, StoredBytes& stored, std::uint32_t stored_size,
                std::uint32_t output_size, MemberSink* sink) noexcept
      : dictionary_(buffers.dictionary),
        locators_(buffers.dictionary->locators),
        window_(buffers.window),
        window_size_(buffers.window_size),
        history_(std::max(buffers.window_size / 4, kLongestString)),
        slide_at_(buffers.window_size - kWriteReserve),
        hand_on_size_(std::min(kHandOnSize, buffers.window_size / 8)),
        input_(buffers.input),
        input_size_(buffers.input_size),
        stored_(stored),
        stored_size_(stored_size),
        output_size_(output_size),
        sink_(sink) {
    for (std::uint32_t c = 0; c < kLiteralArea; ++c) window_[c] = static_cast<std::uint8_t>(c);
    for (std::uint32_t c = 0; c < kEndCode; ++c) locators_[c] = Locator{c, Pack(1, c)};
    SetLimits();
  }

  template <Status (*kDecodeBlock)(MemberDecoder&, std::uint32_t, std::uint32_t)>
  Status Run() noexcept {
    std::uint64_t block = 0;
    do {
      if (block + kBlockHeaderSize > stored_size_) return Status::kCorruptData;
      const auto start = static_cast<std::uint32_t>(block);
      if (start < input_base_ || start + kBlockHeaderSize > input_base_ + input_length_) {
        const Status status = Fetch(start);
        if (status != Status::kOk) return status;
      }
      const std::uint32_t header = start - input_base_;
      const std::uint64_t end = block + kBlockHeaderSize +
                                LoadLittleEndian32(input_ + header + kPayloadLengthOffset);
      const auto limit =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(end + kOverlapAllowance, stored_size_));
      const Status status = kDecodeBlock(*this, header + kBlockHeaderSize, limit);
      if (status != Status::kOk) return status;
      if (const Status handed = HandOnDecoded(); handed != Status::kOk) return handed;
      block = end;
    } while (block < stored_size_);
    return Finish();
  }

  // Decodes the block whose payload starts `payload` bytes into the input
  // buffer and whose codes must lie below stored byte `limit`. Codes are
  // checked to the end code whether or not the output still has room;
  // entries are only recorded while it has, since nothing reads them once it
  // is full. Inlined twice where an SSE2 variant is built.
  [[gnu::always_inline]] inline Status DecodeBlock(std::uint32_t payload,
                                                   std::uint32_t limit) noexcept;

 private:
  // What a block's decoding carries from its first code to the loop over
  // the others, and from one loop to the other.
  struct BlockState {
    std::uint32_t bit;              // the next code's bit position in the input buffer
    std::uint32_t fast_end;         // see FastEnd
    std::uint32_t limit;            // stored byte below which the block's codes lie
    unsigned width;
    std::uint32_t width_limit;      // the next free code that raises the width
    std::uint32_t next;             // the next free code
    std::uint32_t previous_packed;  // the previous string's length and first byte; it ends
                                    // where the next string goes
    std::uint32_t start;            // window offset of the block's first byte
  };

  enum class Stop { kBlockEnded, kFailed, kWindowPassedBlock };

  // Decodes codes until the end code or a failure. The variant for a block
  // whose first byte is still in the window, where all its entries are too,
  // also stops when the window slides past that byte (before the code at
  // hand): from then on an entry may be gone and has to be checked for.
  template <bool kEntriesMayBeGone>
  [[gnu::always_inline]] inline Stop DecodeCodes(BlockState& block, Status& status) noexcept;

  // Codes that start below this input buffer offset have all their bits
  // below `limit` and a whole 4-byte word in the buffer.
  std::uint32_t FastEnd(std::uint32_t limit) const noexcept {
    const std::int64_t by_limit = std::int64_t{limit} - kCodeSpan + 1;
    const std::int64_t by_buffer = std::int64_t{input_base_} + input_length_ - kCodeWord + 1;
    const std::int64_t end = std::min(by_limit, by_buffer) - input_base_;
    return end > 0 ? static_cast<std::uint32_t>(end) : 0;
  }

  // The output's end as a window offset (or the window's end, if the output
  // goes on past it), and the offset from which the window slides first.
  void SetLimits() noexcept {
    const std::uint32_t left = output_size_ - base_;  // bytes from the window's first output byte
    output_end_ = left < window_size_ - kLiteralArea ? kLiteralArea + left : window_size_;
    write_limit_ = std::min(output_end_, slide_at_);
  }

  // Makes stored bytes [from, ...) the start of the input buffer, keeping
  // what it already holds of them and reading the rest, a buffer's worth or
  // up to the stored end.
  [[gnu::noinline]] Status Fetch(std::uint32_t from) noexcept {
    const std::uint32_t end = input_base_ + input_length_;
    std::uint32_t kept = 0;
    if (from >= input_base_ && from < end) {
      kept = end - from;
      std::memmove(input_, input_ + (from - input_base_), kept);
    }
    const std::uint32_t wanted = std::min(input_size_, stored_size_ - from) - kept;
    input_base_ = from;
    input_length_ = kept;
    if (wanted != 0) {
      const Status status = stored_.Read(std::uint64_t{from} + kept, input_ + kept, wanted);
      if (status != Status::kOk) return status;
      input_length_ += wanted;
    }
    return Status::kOk;
  }

  // A code near the end of the buffer, of the block or of the stored bytes,
  // or one after a code that ran ahead: checked against the limit, fetched
  // if need be, read with the bytes past the stored end as zero, and failed
  // if it should have been the end code.
  [[gnu::noinline]] SlowCode ReadCodeSlowly(std::uint32_t bit, unsigned width, std::uint32_t mask,
                                            std::uint32_t limit) noexcept {
    const std::uint64_t absolute = std::uint64_t{input_base_} * 8 + bit;
    if (absolute + width > std::uint64_t{limit} * 8) return {Status::kCorruptData, 0, 0, 0};
    const auto byte = static_cast<std::uint32_t>(absolute >> 3);
    const std::uint32_t end = input_base_ + input_length_;
    if (std::uint64_t{byte} + kCodeWord > end && end < stored_size_) {
      // A few bytes before the code stay: the next block may begin there.
      const std::uint32_t keep_from = byte >= kOverlapAllowance ? byte - kOverlapAllowance : 0;
      const Status status = Fetch(std::max(keep_from, input_base_));
      if (status != Status::kOk) return {status, 0, 0, 0};
    }
    const std::uint32_t at = byte - input_base_;
    std::uint32_t word = 0;
    for (std::uint32_t i = 0; i < kCodeWord && at + i < input_length_; ++i) {
      word |= static_cast<std::uint32_t>(input_[at + i]) << (8 * i);
    }
    const std::uint32_t code = (word >> (absolute & 7)) & mask;
    if (ran_ahead_) {
      ran_ahead_ = false;
      if (code != kEndCode) return {Status::kCorruptData, 0, 0, 0};
    }
    return {Status::kOk, code, static_cast<std::uint32_t>(absolute - std::uint64_t{input_base_} * 8),
            FastEnd(limit)};
  }

  // Hands what is new in the window to the sink and slides the last
  // history_ bytes to the front; the offsets of the entries below `next`
  // slide along, or become kGone. Called with position_ at or past
  // write_limit_ and below output_end_. Returns by how much the window slid
  // (0 when it failed).
  [[gnu::noinline]] std::uint32_t MakeRoom(std::uint32_t next, Status& status) noexcept {
    if (sink_ != nullptr) {
      status = sink_->Write(window_ + flushed_, position_ - flushed_);
      if (status != Status::kOk) return 0;
    }
    const std::uint32_t kept_from = position_ - history_;
    const std::uint32_t shift = kept_from - kLiteralArea;
    std::memmove(window_ + kLiteralArea, window_ + kept_from, history_);
    for (std::uint32_t code = kFirstEntry; code < next; ++code) {
      const std::uint32_t offset = locators_[code].offset;
      locators_[code].offset = offset - kept_from < window_size_ ? offset - shift : kGone;
    }
    base_ += shift;
    position_ -= shift;
    flushed_ = position_;
    SetLimits();
    return shift;
  }

  // Writes the string of `code`, which is gone from the window, at window
  // offset `position`: its bytes from the last back through the chain of
  // previous codes, until a prefix that is still in the window is copied in
  // one go. Each entry walked gets this position, where its string now lies.
  [[gnu::noinline]] void WalkString(std::uint32_t code, std::uint32_t position) noexcept {
    std::uint8_t* const destination = window_ + position;
    std::uint32_t length = locators_[code].packed & kLengthMask;
    for (;;) {
      Locator& locator = locators_[code];
      if (locator.offset != kGone) {  // also every literal
        std::memcpy(destination, window_ + locator.offset, length);
        return;
      }
      locator.offset = position;
      const std::uint32_t made = dictionary_->made[code];
      destination[--length] = static_cast<std::uint8_t>(locators_[made].packed >> 24);
      code = dictionary_->made[code - 1];
    }
  }

  // Between blocks: hands on what is new in the window once there is at
  // least kHandOnSize of it. Pieces of that size are still in the cache when
  // the sink copies or writes them, and a sink that writes in the
  // background gets them while the next blocks are decoded.
  Status HandOnDecoded() noexcept {
    const std::uint32_t end = std::min(position_, output_end_);
    if (sink_ == nullptr || end < flushed_ + hand_on_size_) return Status::kOk;
    const Status status = sink_->Write(window_ + flushed_, end - flushed_);
    flushed_ = end;
    return status;
  }

  // Hands on the rest of the output in the window and the zero fill.
  Status Finish() noexcept {
    if (sink_ == nullptr) return Status::kOk;
    const std::uint32_t end = std::min(position_, output_end_);
    if (end != flushed_) {
      const Status status = sink_->Write(window_ + flushed_, end - flushed_);
      if (status != Status::kOk) return status;
    }
    std::uint32_t zeros = output_size_ - base_ - (end - kLiteralArea);
    if (zeros == 0) return Status::kOk;
    std::uint8_t* const area = window_ + kLiteralArea;
    const std::uint32_t chunk = std::min(zeros, window_size_ - kLiteralArea);
    std::memset(area, 0, chunk);
    while (zeros != 0) {
      const std::uint32_t size = std::min(zeros, chunk);
      const Status status = sink_->Write(area, size);
      if (status != Status::kOk) return status;
      zeros -= size;
    }
    return Status::kOk;
  }

  Dictionary* const dictionary_;
  Locator* const locators_;

  std::uint8_t* const window_;
  const std::uint32_t window_size_;
  const std::uint32_t history_;    // bytes kept when the window slides
  const std::uint32_t slide_at_;   // the window slides before a string written from here on
  const std::uint32_t hand_on_size_;  // the least HandOnDecoded hands on
  std::uint32_t base_ = 0;         // member offset of the output byte at window offset kLiteralArea
  std::uint32_t position_ = kLiteralArea;  // where the next string goes; the output is full from output_end_
  std::uint32_t flushed_ = kLiteralArea;   // handed to the sink up to here
  std::uint32_t output_end_ = 0;   // see SetLimits
  // A code stood for no entry (a first code of 257 and above, or one above
  // the next free code): the next code must end the block. It is read by
  // ReadCodeSlowly, which checks this, because the fast path's end is set
  // to 0 then.
  bool ran_ahead_ = false;
  std::uint32_t write_limit_ = 0;  // min(output_end_, slide_at_)

  std::uint8_t* const input_;
  const std::uint32_t input_size_;
  std::uint32_t input_base_ = 0;    // stored offset of input_[0]
  std::uint32_t input_length_ = 0;  // bytes held

  StoredBytes& stored_;
  const std::uint32_t stored_size_;
  const std::uint32_t output_size_;
  MemberSink* const sink_;
};

Status MemberDecoder::DecodeBlock(std::uint32_t payload, std::uint32_t limit) noexcept {
  BlockState block{};
  block.bit = payload * 8;
  block.fast_end = FastEnd(limit);
  block.limit = limit;
  block.width = kFirstWidth;
  block.width_limit = std::uint32_t{1} << kFirstWidth;

  std::uint32_t code;
  if (block.bit >> 3 < block.fast_end) [[likely]] {
    code = (LoadLittleEndian32(input_ + (block.bit >> 3)) >> (block.bit & 7)) &
           (block.width_limit - 1);
  } else {
    const SlowCode read = ReadCodeSlowly(block.bit, block.width, block.width_limit - 1, limit);
    if (read.status != Status::kOk) return read.status;
    code = read.code;
    block.bit = read.bit;
    block.fast_end = read.fast_end;
  }
  if (code == kEndCode) return Status::kOk;
  block.bit += kFirstWidth;

  Status status = Status::kOk;
  if (position_ >= write_limit_ && position_ < output_end_) {
    MakeRoom(kFirstEntry, status);
    if (status != Status::kOk) return status;
  }
  block.start = position_;
  block.next = kFirstEntry;
  dictionary_->made[kEndCode] = code;
  block.previous_packed = Pack(1, code & 0xFF);
  if (position_ < output_end_) window_[position_++] = static_cast<std::uint8_t>(code);
  if (code >= kFirstEntry) {
    ran_ahead_ = true;
    block.fast_end = 0;
  }

  Stop stop = DecodeCodes<false>(block, status);
  if (stop == Stop::kWindowPassedBlock) stop = DecodeCodes<true>(block, status);
  return stop == Stop::kBlockEnded ? Status::kOk : status;
}

template <bool kEntriesMayBeGone>
MemberDecoder::Stop MemberDecoder::DecodeCodes(BlockState& block, Status& status) noexcept {
  const std::uint8_t* const input = input_;
  std::uint8_t* const window = window_;
  Dictionary* const dictionary = dictionary_;
  std::uint32_t write_limit = write_limit_;
  std::uint32_t output_end = output_end_;
  std::uint32_t position = position_;

  std::uint32_t bit = block.bit;
  std::uint32_t fast_end = block.fast_end;
  unsigned width = block.width;
  std::uint32_t width_limit = block.width_limit;
  std::uint32_t mask = width_limit - 1;
  std::uint32_t next = block.next;
  std::uint32_t previous_packed = block.previous_packed;

  Stop stop;
  for (;;) {
    std::uint32_t code;
    if (bit >> 3 < fast_end) [[likely]] {
      code = (LoadLittleEndian32(input + (bit >> 3)) >> (bit & 7)) & mask;
    } else {
      const SlowCode read = ReadCodeSlowly(bit, width, mask, block.limit);
      if (read.status != Status::kOk) {
        status = read.status;
        stop = Stop::kFailed;
        break;
      }
      code = read.code;
      bit = read.bit;
      fast_end = read.fast_end;
    }
    if (code == kEndCode) {
      stop = Stop::kBlockEnded;
      break;
    }
    if (position >= write_limit) [[unlikely]] {
      if (position >= output_end) {
        // The output is full: the rest is only checked.
        if (code > next) {
          ran_ahead_ = true;
          fast_end = 0;
        }
        goto advance;
      }
      position_ = position;
      const std::uint32_t shift = MakeRoom(next, status);
      if (status != Status::kOk) {
        stop = Stop::kFailed;
        break;
      }
      position = position_;
      write_limit = write_limit_;
      output_end = output_end_;
      if (!kEntriesMayBeGone && block.start - kLiteralArea < shift) {
        // This code is read again by the loop that checks for gone entries.
        stop = Stop::kWindowPassedBlock;
        break;
      }
      block.start -= shift;
    }
    {
      // Entry `next` first: the previous string and this string's first
      // byte, which sits right after the previous string in the window. The
      // previous string ends where this one goes (it always stays in the
      // window). Recording it before the copy, and working its offset out
      // rather than carrying it, spares the 32-bit build's few registers.
      const std::uint32_t previous_length = previous_packed & kLengthMask;
      dictionary->locators[next] = Locator{position - previous_length, previous_packed + 1};
      dictionary->made[next] = code;
      std::uint8_t* const destination = window + position;
      std::uint32_t packed;
      if (code < next) [[likely]] {
        const Locator locator = dictionary->locators[code];
        packed = locator.packed;
        if (!kEntriesMayBeGone || locator.offset != kGone) [[likely]] {
          CopyString(destination, window + locator.offset, packed & kLengthMask);
        } else {
          WalkString(code, position);
        }
      } else {
        // That entry: the previous string, then its own first byte.
        if (code > next) [[unlikely]] {
          ran_ahead_ = true;
          fast_end = 0;
        }
        packed = previous_packed + 1;
        CopyString(destination, destination - previous_length, previous_length);
        destination[previous_length] = static_cast<std::uint8_t>(previous_packed >> 24);
      }
      // The window has room past the output's end for a string started
      // before it; the output is full from then on.
      previous_packed = packed;
      position += packed & kLengthMask;
    }

  advance:
    if (++next == width_limit) {
      if (width == kLastWidth) {
        status = Status::kCorruptData;
        stop = Stop::kFailed;
        break;
      }
      ++width;
      width_limit <<= 1;
      mask = width_limit - 1;
    }
    // Read with the old width, advance by the new one.
    bit += width;
  }
  position_ = position;
  block.bit = bit;
  block.fast_end = fast_end;
  block.width = width;
  block.width_limit = width_limit;
  block.next = next;
  block.previous_packed = previous_packed;
  return stop;
}

Status DecodeBlockPortable(MemberDecoder& decoder, std::uint32_t payload,
                           std::uint32_t limit) noexcept {
  return decoder.DecodeBlock(payload, limit);
}

#if KZR_SSE2_PATHS
// The same code, with 16-byte copies in one SSE2 load and store each.
KZR_TARGET_SSE2 Status DecodeBlockSse2(MemberDecoder& decoder, std::uint32_t payload,
                                               std::uint32_t limit) noexcept {
  return decoder.DecodeBlock(payload, limit);
}
#endif

}  // namespace

struct LzwDecoder::Memory {
  std::unique_ptr<Dictionary> dictionary;
  std::unique_ptr<std::uint8_t[]> window;
  std::unique_ptr<std::uint8_t[]> input;
  Buffers buffers;
};

LzwDecoder::LzwDecoder(std::unique_ptr<Memory> memory) noexcept : memory_(std::move(memory)) {}

LzwDecoder::~LzwDecoder() = default;

std::unique_ptr<LzwDecoder> LzwDecoder::Create(std::size_t window_size,
                                               std::size_t input_size) noexcept {
  window_size = std::clamp(window_size, kMinWindowSize, kMaxWindowSize);
  input_size = std::clamp(input_size, kMinInputSize, kMaxInputSize);
  std::unique_ptr<Memory> memory(new (std::nothrow) Memory);
  if (!memory) return nullptr;
  // Not initialised: every byte is written before it is used, and untouched
  // pages of a large window cost nothing for a small member.
  memory->dictionary.reset(new (std::nothrow) Dictionary);
  memory->window.reset(new (std::nothrow) std::uint8_t[window_size]);
  memory->input.reset(new (std::nothrow) std::uint8_t[input_size]);
  if (!memory->dictionary || !memory->window || !memory->input) return nullptr;
  memory->buffers = Buffers{memory->dictionary.get(),
                            memory->window.get(),
                            static_cast<std::uint32_t>(window_size),
                            memory->input.get(),
                            static_cast<std::uint32_t>(input_size)};
  std::unique_ptr<LzwDecoder> decoder(new (std::nothrow) LzwDecoder(std::move(memory)));
  return decoder;
}

Status LzwDecoder::Decode(StoredBytes& stored, std::uint32_t stored_size,
                          std::uint32_t output_size, MemberSink* sink) noexcept {
  MemberDecoder member(memory_->buffers, stored, stored_size, output_size, sink);
#if KZR_SSE2_PATHS
  if (cpu::kHasSse2) return member.Run<DecodeBlockSse2>();
#endif
  return member.Run<DecodeBlockPortable>();
}

}  // namespace kzr
