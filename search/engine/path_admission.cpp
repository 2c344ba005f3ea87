#include "search/engine/path_admission.h"

namespace orv {

}  // namespace orv
