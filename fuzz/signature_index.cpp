// The signature index reader on arbitrary bytes: whole records only, never a
// read outside the input, and what it accepts encodes back to no more bytes
// than it took (the same bytes for records of the current revision).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/base/errors.h"
#include "platform/base/stream.h"
#include "search/engine/signature.h"
#include "search/engine/signature_index.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orv;
    std::vector<TIndexRecord> records = ParseSignatureIndex(data, size);
    std::size_t consumed = 0;
    for (const TIndexRecord& rec : records) {
        if (!rec.PathValid) break;  // bytes past an undecodable path are not compared
        std::string bytes;
        try {
            // A stamp of another revision is not written again.
            const TFileStamp* stamp = rec.Revision == kSignatureRevision ? &rec.Stamp : nullptr;
            bytes = EncodeIndexRecord(rec.Path, rec.FileDate, rec.FileSize, rec.Width, rec.Height, rec.TmpNo, stamp,
                                      rec.SignatureSum);
        } catch (const Exception&) {
            break;  // an interior zero byte shortened the path; nothing to compare
        }
        if (consumed + bytes.size() > size) std::abort();
        consumed += bytes.size();
    }
    TMemoryStream stream(data, size);
    if (ReadSignatureIndex(stream).size() != records.size()) std::abort();
    // Live records name each path and each number once.
    std::set<std::string> paths;
    std::set<std::int32_t> numbers;
    for (const TIndexRecord& rec : LiveIndexRecords(records))
        if (!IsUsableRecord(rec) || !paths.insert(rec.Path).second || !numbers.insert(rec.TmpNo).second) std::abort();
    DropSupersededRecords(records);
    return 0;
}
