// What every fuzz target provides besides LLVMFuzzerTestOneInput: its seed
// inputs, made by our own writers (the film writer, the frame encoder, the
// cabinet builders), never kept in the tree.
//
// Each target is built twice: with libFuzzer where clang can (NAME), and
// everywhere natively as NAME_replay, whose main writes the seeds and runs
// inputs through the target once:
//
//   NAME_replay [--write-seeds DIR] [FILE|DIR]...
//
// writes the seeds into DIR (seed-NAME files, existing ones replaced), then
// runs every file named, and every file in every directory named, in name
// order. It ends with 0 when every input came back; a finding aborts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TzxFuzzSeed {
  std::string Name;
  std::vector<uint8_t> Bytes;
};

// Defined by each fuzz target.
std::vector<TzxFuzzSeed> FuzzSeeds();

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
