// Fuzz target: stored strings and counted records read through BinaryReader.
// Damaged input must raise EReadError, never read past the end or allocate
// what the data does not hold.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/base/binary_io.h"
#include "platform/base/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::TMemoryStream stream(data, size);
    orv::BinaryReader reader(stream);
    try {
        while (reader.Remaining() > 0) {
            const std::int32_t count = reader.ReadInt32();
            reader.CheckCount(count, 10);
            std::vector<std::string> texts;
            texts.reserve(static_cast<std::size_t>(count));
            for (std::int32_t i = 0; i < count; ++i) {
                texts.push_back(reader.ReadStoredString());
                reader.ReadDouble();
            }
        }
    } catch (const orv::EReadError&) {
    }
    return 0;
}
