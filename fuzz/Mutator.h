#pragma once
// Deterministic byte-level mutations of seed inputs: flips, inserts, deletes, splices with
// another seed, tokens of the input's format and long runs. Same seed, same sequence.

#include <cstdint>
#include <string>
#include <vector>

namespace twfuzz {

class CMutator {
public:
    // longestRun bounds the runs of one character that are inserted.
    CMutator(uint64_t seed, std::vector<std::string> seeds, std::vector<std::string> tokens,
             size_t longestRun = 20000);

    // The next input: a seed (or the previous input) with one to eight mutations.
    std::string Next();

    static constexpr size_t kMaxInputSize = 64 * 1024;

private:
    uint64_t Random();
    size_t Below(size_t n) { return n ? static_cast<size_t>(Random() % n) : 0; }
    void MutateOnce(std::string& data);

    uint64_t m_state;
    std::vector<std::string> m_seeds;
    std::vector<std::string> m_tokens;
    std::string m_last;
    size_t m_longestRun;
};

}  // namespace twfuzz
