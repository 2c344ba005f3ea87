// Test helper: sleeps ORV_SLEEP_MS milliseconds (default 300), then exits
// with ORV_EXIT_CODE (default 0). Started without arguments.
#include <chrono>
#include <cstdlib>
#include <thread>

int main() {
    const char* ms = std::getenv("ORV_SLEEP_MS");
    const char* code = std::getenv("ORV_EXIT_CODE");
    std::this_thread::sleep_for(std::chrono::milliseconds(ms ? std::atoi(ms) : 300));
    return code ? std::atoi(code) : 0;
}
