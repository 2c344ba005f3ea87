// The signature files and their index "~OVTMP.Lst" in the work folder.
//
// Index: no header; records one after another, little-endian:
//   uint16 L (path bytes + 1), L bytes (the path's stored text, then a 0 byte),
//   float64 file date, int32 file size, int32 width, int32 height,
//   int32 signature number.
// A record is 26 + L bytes. Reading accepts only whole records and stops at
// the first damaged one, keeping those before it.
//
// The picture's stamp, which tells whether a signature may be reused,
// follows the path's closing 0 byte inside L, where every reader of the path
// steps over it: one byte, the revision of the signature (kSignatureRevision),
// then uint64 inode, int64 size, int64 modification time and int64 change
// time of the picture (nanoseconds since 1970), uint64 inode of the
// signature file, one 0 byte; 42 bytes. A record whose path leaves no room
// for them is written without them. Records of another revision (the
// 34-byte stamp of revision 1 has no signature inode) and records without a
// stamp are read for their path and number only: no run reuses them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/datetime.h"
#include "platform/base/stream.h"
#include "search/engine/main_data.h"

namespace orv {

inline constexpr char kSignatureIndexName[] = "~OVTMP.Lst";
inline constexpr char kSignaturePrefix[] = "~OVTMP";
inline constexpr char kSignatureExt[] = ".BMP";
// Signature numbers are drawn from 0 to kSignatureRandomMax; when those are
// crowded, higher numbers up to kSignatureNumberMax (six digits, which the
// close-time leftover test still finds) are used.
inline constexpr std::int32_t kSignatureRandomMax = 99999;
inline constexpr std::int32_t kSignatureNumberMax = 999999;

struct TIndexRecord {
    std::string Path;        // UTF-8
    bool PathValid = false;  // false when the stored bytes are in neither text form
    TDateTime FileDate = 0;
    std::int32_t FileSize = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t TmpNo = 0;
    TFileStamp Stamp;  // Known when the record carries it; Device is not stored
    std::uint8_t Revision = 0;         // of the stamp; 0 without one
    std::uint64_t SignatureSum = 0;  // of the signature file as written; 0 when not stored
};

// "~OVTMP" + n + ".BMP"
std::string SignatureFileName(std::int32_t number);
// A signature file's name: "~OVTMP", one to six decimal digits, ".BMP" with
// ASCII case ignored.
bool IsSignatureFileName(std::string_view name);
// A name the run writes into the work folder or deletes from it: a signature
// file or the index, ASCII case ignored throughout.
bool IsWorkFileName(std::string_view name);

// The bytes of one record, with the stamp of the current revision when one
// is given and known. The size is stored capped at 2^31 - 1 (the field is
// 32-bit). Raises EConvertError for a path that is not valid UTF-8 or whose
// stored text does not fit the 16-bit length.
std::string EncodeIndexRecord(const std::string& path, TDateTime fileDate, std::int64_t fileSize,
                              std::int32_t width, std::int32_t height, std::int32_t number,
                              const TFileStamp* stamp = nullptr, std::uint64_t signatureChecksum = 0);

// Every whole record of an index image, in file order. Stops at the first
// record that is damaged (length 0, cut short, no closing 0 byte).
std::vector<TIndexRecord> ParseSignatureIndex(const std::uint8_t* data, std::size_t size);
// The same for the rest of a stream.
std::vector<TIndexRecord> ReadSignatureIndex(TStream& stream);

// A signature number belongs to its latest record: a number is given anew
// once its file is gone, so earlier records with it describe another image.
// Keeps the order of the records that stay.
void DropSupersededRecords(std::vector<TIndexRecord>& records);

// A record a run can look up: a code page 932 path, a number and a size.
bool IsUsableRecord(const TIndexRecord& record);
// A usable record whose signature a run may reuse: one with a stamp of the
// current revision.
bool IsCurrentRecord(const TIndexRecord& record);
// The records that still describe a signature file, in file order. A record
// is dead once a later record names the same path (the path's signature was
// made anew and the old file removed) or the same number (the number was
// given anew, so its file holds another image), or when it is not usable.
std::vector<TIndexRecord> LiveIndexRecords(const std::vector<TIndexRecord>& records);

// Width and height of a stored signature from its file's bytes: a whole
// uncompressed 24-bit bitmap file (Windows header of 40 bytes or more, every
// pixel row present). False for anything else, such as a file cut short by a
// full disk.
bool SignatureBmpSize(std::string_view file, std::int32_t& width, std::int32_t& height);

}  // namespace orv
