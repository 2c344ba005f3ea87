// The counting kernels of the signature module over compact signatures: a
// pixel agrees when its three band planes equal the other signature's, so a
// word of 64 pixels agrees in popcount(~((a0 ^ b0) | (a1 ^ b1) | (a2 ^ b2)))
// places. Only the signature module counts with them; tests and benchmarks
// choose the level.
//
// Each of a and b holds three planes of `words` words one after another.
// Every level gives identical counts; the best one the CPU offers is chosen
// once at start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace orv {

enum class TKernelLevel { Portable, Popcnt, Avx2, Avx512 };

std::string_view KernelLevelName(TKernelLevel level);
// Levels this CPU can run, lowest first (Portable always).
std::vector<TKernelLevel> SupportedKernelLevels();
TKernelLevel ActiveKernelLevel();
// Chooses the level for later calls (tests and benchmarks); a level the CPU
// cannot run is refused with false.
bool SetKernelLevel(TKernelLevel level);

// Agreeing bits over all words (padding bits included).
std::uint64_t KernelCountAgree(const std::uint64_t* a, const std::uint64_t* b, std::size_t words);
// Whether at least need bits agree. Stops early once the count reaches need
// or too many bits disagree for it ever to.
bool KernelReaches(const std::uint64_t* a, const std::uint64_t* b, std::size_t words, std::uint64_t need);

// Signatures of different sizes: agreeing pixels of the part both cover
// (width x height from the top-left), row by row. s holds three planes of
// sWords words of a signature sWidth pixels wide, t likewise. With need >= 0
// the count stops once it reaches need or can no longer reach it (the
// answer is then some count below need); need < 0 counts everything.
std::int64_t KernelCountRows(const std::uint64_t* s, std::size_t sWords, int sWidth, const std::uint64_t* t,
                             std::size_t tWords, int tWidth, int width, int height, std::int64_t need);

// The same with an explicit level (tests compare the levels).
std::uint64_t KernelCountAgree(TKernelLevel level, const std::uint64_t* a, const std::uint64_t* b, std::size_t words);
bool KernelReaches(TKernelLevel level, const std::uint64_t* a, const std::uint64_t* b, std::size_t words,
                   std::uint64_t need);
std::int64_t KernelCountRows(TKernelLevel level, const std::uint64_t* s, std::size_t sWords, int sWidth,
                             const std::uint64_t* t, std::size_t tWords, int tWidth, int width, int height,
                             std::int64_t need);

}  // namespace orv
