#include "search/engine/run_view.h"

#include <thread>

namespace orv {

void IRunView::Sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace orv
