// The pair handler's reader of the whole-log hand-over on arbitrary bytes:
// never a read outside the input, and whatever it accepts, written again by
// the main program's writer, reads back unchanged, the files' stamps
// included.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/base/binary_io.h"
#include "platform/base/handover_files.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"
#include "search/engine/handover.h"

namespace {

bool SameSide(const orv::PairFile& a, const orv::PairFile& b) {
    return a.File == b.File && a.Data == b.Data && a.Size == b.Size && a.Width == b.Width && a.Height == b.Height &&
           a.Stamp.Known == b.Stamp.Known && (!a.Stamp.Known || orv::SameStamp(a.Stamp, b.Stamp));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orv;
    TDoFiles2 pairs;
    try {
        TMemoryStream stream(data, size);
        pairs = ReadDoFiles2(stream);
    } catch (const EReadError&) {
        return 0;
    }
    std::vector<TLogRow> rows(pairs.PairL.size());
    std::vector<TPairStamps> stamps(rows.size());
    bool anyStamp = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const PairFile& l = pairs.PairL[i];
        const PairFile& r = pairs.PairR[i];
        rows[i] = {l.File, l.Size, l.Data, l.Width, l.Height, r.File, r.Size, r.Data, r.Width, r.Height,
                   pairs.ResText[i]};
        stamps[i] = {l.Stamp, r.Stamp};
        anyStamp = anyStamp || l.Stamp.Known || r.Stamp.Known;
    }
    if (!anyStamp) stamps.clear();
    const TLogTable table(rows);
    const std::string bytes =
        EncodeDoFiles2(rows.size(), [&](BinaryWriter& writer) { WriteStoredRows(writer, table); }, stamps);
    TMemoryStream stream(bytes.data(), bytes.size());
    const TDoFiles2 again = ReadDoFiles2(stream);
    if (again.PairL.size() != pairs.PairL.size() || again.ResText != pairs.ResText) std::abort();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!SameSide(again.PairL[i], pairs.PairL[i]) || !SameSide(again.PairR[i], pairs.PairR[i])) std::abort();
    return 0;
}
