#include "formats/codec_fax.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace orv {

namespace {

struct Code {
    std::uint16_t bits;
    std::uint8_t length;
};

// T.4 code tables, indexed by run length (terminating) or by run / 64 - 1
// (make-up).
constexpr Code kWhiteTerminating[64] = {
    {0x35, 8}, {0x07, 6}, {0x07, 4}, {0x08, 4}, {0x0B, 4}, {0x0C, 4}, {0x0E, 4}, {0x0F, 4},
    {0x13, 5}, {0x14, 5}, {0x07, 5}, {0x08, 5}, {0x08, 6}, {0x03, 6}, {0x34, 6}, {0x35, 6},
    {0x2A, 6}, {0x2B, 6}, {0x27, 7}, {0x0C, 7}, {0x08, 7}, {0x17, 7}, {0x03, 7}, {0x04, 7},
    {0x28, 7}, {0x2B, 7}, {0x13, 7}, {0x24, 7}, {0x18, 7}, {0x02, 8}, {0x03, 8}, {0x1A, 8},
    {0x1B, 8}, {0x12, 8}, {0x13, 8}, {0x14, 8}, {0x15, 8}, {0x16, 8}, {0x17, 8}, {0x28, 8},
    {0x29, 8}, {0x2A, 8}, {0x2B, 8}, {0x2C, 8}, {0x2D, 8}, {0x04, 8}, {0x05, 8}, {0x0A, 8},
    {0x0B, 8}, {0x52, 8}, {0x53, 8}, {0x54, 8}, {0x55, 8}, {0x24, 8}, {0x25, 8}, {0x58, 8},
    {0x59, 8}, {0x5A, 8}, {0x5B, 8}, {0x4A, 8}, {0x4B, 8}, {0x32, 8}, {0x33, 8}, {0x34, 8},
};

constexpr Code kWhiteMakeUp[27] = {
    {0x1B, 5}, {0x12, 5}, {0x17, 6}, {0x37, 7}, {0x36, 8}, {0x37, 8}, {0x64, 8},
    {0x65, 8}, {0x68, 8}, {0x67, 8}, {0xCC, 9}, {0xCD, 9}, {0xD2, 9}, {0xD3, 9},
    {0xD4, 9}, {0xD5, 9}, {0xD6, 9}, {0xD7, 9}, {0xD8, 9}, {0xD9, 9}, {0xDA, 9},
    {0xDB, 9}, {0x98, 9}, {0x99, 9}, {0x9A, 9}, {0x18, 6}, {0x9B, 9},
};

constexpr Code kBlackTerminating[64] = {
    {0x37, 10}, {0x02, 3},  {0x03, 2},  {0x02, 2},  {0x03, 3},  {0x03, 4},  {0x02, 4},  {0x03, 5},
    {0x05, 6},  {0x04, 6},  {0x04, 7},  {0x05, 7},  {0x07, 7},  {0x04, 8},  {0x07, 8},  {0x18, 9},
    {0x17, 10}, {0x18, 10}, {0x08, 10}, {0x67, 11}, {0x68, 11}, {0x6C, 11}, {0x37, 11}, {0x28, 11},
    {0x17, 11}, {0x18, 11}, {0xCA, 12}, {0xCB, 12}, {0xCC, 12}, {0xCD, 12}, {0x68, 12}, {0x69, 12},
    {0x6A, 12}, {0x6B, 12}, {0xD2, 12}, {0xD3, 12}, {0xD4, 12}, {0xD5, 12}, {0xD6, 12}, {0xD7, 12},
    {0x6C, 12}, {0x6D, 12}, {0xDA, 12}, {0xDB, 12}, {0x54, 12}, {0x55, 12}, {0x56, 12}, {0x57, 12},
    {0x64, 12}, {0x65, 12}, {0x52, 12}, {0x53, 12}, {0x24, 12}, {0x37, 12}, {0x38, 12}, {0x27, 12},
    {0x28, 12}, {0x58, 12}, {0x59, 12}, {0x2B, 12}, {0x2C, 12}, {0x5A, 12}, {0x66, 12}, {0x67, 12},
};

constexpr Code kBlackMakeUp[27] = {
    {0x0F, 10}, {0xC8, 12}, {0xC9, 12}, {0x5B, 12}, {0x33, 12}, {0x34, 12}, {0x35, 12},
    {0x6C, 13}, {0x6D, 13}, {0x4A, 13}, {0x4B, 13}, {0x4C, 13}, {0x4D, 13}, {0x72, 13},
    {0x73, 13}, {0x74, 13}, {0x75, 13}, {0x76, 13}, {0x77, 13}, {0x52, 13}, {0x53, 13},
    {0x54, 13}, {0x55, 13}, {0x5A, 13}, {0x5B, 13}, {0x64, 13}, {0x65, 13},
};

// 1792 to 2560, shared by both colours.
constexpr Code kExtendedMakeUp[13] = {
    {0x08, 11}, {0x0C, 11}, {0x0D, 11}, {0x12, 12}, {0x13, 12}, {0x14, 12}, {0x15, 12},
    {0x16, 12}, {0x17, 12}, {0x1C, 12}, {0x1D, 12}, {0x1E, 12}, {0x1F, 12},
};

constexpr int kEndOfLine = -1;
constexpr int kInvalid = -2;

// A binary code tree: entry 0 is the root, a next state of 0 means no branch.
struct State {
    std::int32_t next[2] = {0, 0};
    std::int32_t value = 0;
};

class CodeTree {
public:
    explicit CodeTree(bool white) {
        states_.emplace_back();
        const Code* terminating = white ? kWhiteTerminating : kBlackTerminating;
        const Code* makeUp = white ? kWhiteMakeUp : kBlackMakeUp;
        for (int run = 0; run < 64; ++run) Add(terminating[run], run);
        for (int k = 0; k < 27; ++k) Add(makeUp[k], (k + 1) * 64);
        for (int k = 0; k < 13; ++k) Add(kExtendedMakeUp[k], (k + 28) * 64);
        Add({0x001, 12}, kEndOfLine);
        Add({0x001, 9}, kInvalid);
        Add({0x001, 10}, kInvalid);
        Add({0x001, 11}, kInvalid);
        Add({0x000, 12}, kInvalid);
    }
    const State& operator[](std::int32_t i) const { return states_[static_cast<std::size_t>(i)]; }

private:
    void Add(Code code, std::int32_t value) {
        std::int32_t state = 0;
        for (int i = code.length - 1; i >= 0; --i) {
            const int bit = (code.bits >> i) & 1;
            if (states_[static_cast<std::size_t>(state)].next[bit] == 0) {
                states_.emplace_back();
                states_[static_cast<std::size_t>(state)].next[bit] = static_cast<std::int32_t>(states_.size() - 1);
            }
            state = states_[static_cast<std::size_t>(state)].next[bit];
        }
        states_[static_cast<std::size_t>(state)].value = value;
    }
    std::vector<State> states_;
};

const CodeTree& Tree(bool white) {
    static const CodeTree whiteTree(true);
    static const CodeTree blackTree(false);
    return white ? whiteTree : blackTree;
}

std::uint8_t ReverseBits(std::uint8_t b) {
    b = static_cast<std::uint8_t>((b & 0xF0u) >> 4 | (b & 0x0Fu) << 4);
    b = static_cast<std::uint8_t>((b & 0xCCu) >> 2 | (b & 0x33u) << 2);
    b = static_cast<std::uint8_t>((b & 0xAAu) >> 1 | (b & 0x55u) << 1);
    return b;
}

// A run longer than any row is cut here; WriteRun cuts it to the row.
constexpr std::int64_t kRunCap = std::int64_t{1} << 31;

}  // namespace

// Reads the packed bytes bit by bit, most significant first.
struct TCCITTDecoder::BitReader {
    const std::uint8_t* next;
    const std::uint8_t* start;
    std::size_t packedLeft;  // bytes not yet fetched
    bool swap;
    unsigned bitsLeft = 0;   // unread bits of the current byte
    std::uint8_t current = 0;

    BitReader(const std::uint8_t* source, std::size_t size, bool swapBits)
        : next(source), start(source), packedLeft(size), swap(swapBits) {}

    bool HasBits() const { return bitsLeft > 0 || packedLeft > 0; }
    void Fetch() {
        if (bitsLeft == 0 && packedLeft > 0) {
            current = swap ? ReverseBits(*next) : *next;
            ++next;
            --packedLeft;
            bitsLeft = 8;
        }
    }
    // Only when HasBits().
    int Peek() {
        Fetch();
        return (current >> (bitsLeft - 1)) & 1;
    }
    // Reads as 0 once everything has been read.
    int Take() {
        Fetch();
        if (bitsLeft == 0) return 0;
        return (current >> --bitsLeft) & 1;
    }
    // Drops the unread rest of a byte that has been read from.
    void AlignToByte() {
        if (bitsLeft < 8) bitsLeft = 0;
    }
    std::size_t BytePosition() const {
        return static_cast<std::size_t>(next - start) - (bitsLeft == 8 ? 1 : 0);
    }
    void AlignToWord() {
        AlignToByte();
        if (BytePosition() % 2 == 0) return;
        if (bitsLeft == 8) {
            bitsLeft = 0;
        } else if (packedLeft > 0) {
            ++next;
            --packedLeft;
        }
    }

    // One run of the colour: make-up codes add up until a code below 64 (a
    // terminating code, end of line, invalid) or a dead end.
    std::int64_t ReadRun(bool white) {
        const CodeTree& tree = Tree(white);
        std::int64_t sum = 0;
        std::int32_t state = 0;
        while (HasBits()) {
            // No branch for the next bit inside a code: the run ends as it
            // stands and the bit stays unread.
            const std::int32_t next = tree[state].next[Peek()];
            if (next == 0) return sum;
            Take();
            state = next;
            // The codes are prefix-free, so a state without branches is a
            // complete code. It counts as soon as its last bit is taken: the
            // data may end right after it (the last row of a strip).
            const State& reached = tree[state];
            if (reached.next[0] == 0 && reached.next[1] == 0) {
                sum = std::min(sum + reached.value, kRunCap);
                if (reached.value < 64) return sum;
                state = 0;  // a make-up code: the terminating code follows
            }
        }
        return sum;
    }
};

// Writes runs into the rows of dest, never past a row or dest.
struct TCCITTDecoder::RowWriter {
    std::uint8_t* dest;
    std::size_t capacity;
    std::uint32_t width;
    std::size_t rowBytes;
    std::size_t row = 0;
    std::uint32_t x = 0;  // pixels of the current row so far

    RowWriter(std::uint8_t* d, std::size_t c, std::uint32_t w)
        : dest(d), capacity(c), width(w), rowBytes((static_cast<std::size_t>(w) + 7) / 8) {}

    bool Full() const { return rowBytes == 0 || row >= capacity / rowBytes + (capacity % rowBytes ? 1 : 0); }

    // Answers true when the run completes the row.
    bool WriteRun(std::int64_t n, bool white) {
        const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::int64_t>(n, width - x));
        if (!white && count > 0) SetBits(x, count);
        x += count;
        return x >= width;
    }
    // A row that received pixels moves the output on to the next row.
    void EndRow() {
        if (x > 0) ++row;
        x = 0;
    }

private:
    void SetBits(std::uint32_t from, std::uint32_t count) {
        const std::size_t rowStart = row * rowBytes;
        const std::size_t limit = std::min(rowBytes, capacity - rowStart);
        std::uint8_t* p = dest + rowStart;
        std::size_t bit = from;
        const std::size_t end = static_cast<std::size_t>(from) + count;
        while (bit < end && bit % 8 != 0) {
            if (bit / 8 < limit) p[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
            ++bit;
        }
        const std::size_t wholeEnd = std::min(end / 8, limit);
        if (bit / 8 < wholeEnd) {
            std::memset(p + bit / 8, 0xFF, wholeEnd - bit / 8);
            bit = end / 8 * 8;
        }
        while (bit < end) {
            if (bit / 8 < limit) p[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
            ++bit;
        }
    }
};

TCCITTDecoder::TCCITTDecoder(std::uint32_t options, bool swapBits, bool wordAligned, std::uint32_t width)
    : options_(options), swapBits_(swapBits), wordAligned_(wordAligned), width_(width) {
    Tree(true);  // build the shared code trees now, not in the middle of a load
}

void TCCITTFax3Decoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                               std::uint8_t*& dest, std::size_t unpackedSize) {
    if (unpackedSize > 0) std::memset(dest, 0, unpackedSize);
    BitReader in(source, packedSize, swapBits_);
    RowWriter out(dest, unpackedSize, width_);
    bool endOfLineRead = false;
    while (in.HasBits() && !out.Full()) {
        if (!endOfLineRead) {
            // Eleven 0 bits in a row, then up to and including the next 1.
            int zeros = 0;
            while (zeros < 11 && in.HasBits()) zeros = in.Take() ? 0 : zeros + 1;
            while (in.HasBits() && !in.Take()) {
            }
        }
        endOfLineRead = false;
        bool white = true;
        while (in.HasBits()) {
            const std::int64_t run = in.ReadRun(white);
            if (run == kEndOfLine) {
                endOfLineRead = true;
                break;
            }
            if (run < 0) break;
            if (out.WriteRun(run, white)) break;
            white = !white;
        }
        out.EndRow();
    }
}

void TCCITTMHDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                             std::uint8_t*& dest, std::size_t unpackedSize) {
    if (unpackedSize > 0) std::memset(dest, 0, unpackedSize);
    BitReader in(source, packedSize, swapBits_);
    RowWriter out(dest, unpackedSize, width_);
    bool white = true;
    while (in.HasBits() && !out.Full()) {
        const std::int64_t run = in.ReadRun(white);
        if (run > 0 && out.WriteRun(run, white)) {
            out.EndRow();
            // The next row starts at the next byte (or word) of packed data, white.
            if (wordAligned_)
                in.AlignToWord();
            else
                in.AlignToByte();
            white = true;
            continue;
        }
        white = !white;
    }
}

}  // namespace orv
