// Project and progress list readers on arbitrary bytes: never a read outside
// the input, and whatever they accept is written and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/base/errors.h"
#include "search/engine/project_file.h"

namespace {

bool SameProject(const orv::TProjectData& a, const orv::TProjectData& b) {
    return a.Sources == b.Sources && a.Targets == b.Targets && a.Handling == b.Handling && a.LogRows == b.LogRows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orv;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const TProjectData project = DecodeProjectFile(bytes);
        const TProjectData again = DecodeProjectFile(EncodeProjectFile(project));
        if (!SameProject(project, again) || !again.Refused.empty()) std::abort();
    } catch (const EReadError&) {
    }
    try {
        const std::vector<std::string> progress = DecodeProgressList(bytes);
        if (DecodeProgressList(EncodeProgressList(progress)) != progress) std::abort();
    } catch (const EReadError&) {
    }
    return 0;
}
