#include "Mutator.h"

#include <algorithm>
#include <utility>

namespace twfuzz {

CMutator::CMutator(uint64_t seed, std::vector<std::string> seeds, std::vector<std::string> tokens, size_t longestRun)
    : m_state(seed ^ 0x9E3779B97F4A7C15ull),
      m_seeds(std::move(seeds)),
      m_tokens(std::move(tokens)),
      m_longestRun(longestRun) {
    if (m_seeds.empty()) m_seeds.emplace_back();
}

uint64_t CMutator::Random() {
    // splitmix64: small, fast and the same everywhere.
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void CMutator::MutateOnce(std::string& data) {
    static const char kInteresting[] = {'\0', '\xff', '\x7f', '\x80', '\r', '\n', ' ', '"', '\'', '=', '&', ';',
                                        '[', ']', '<', '>', '/', '\\', '%', ','};
    const size_t pos = Below(data.size() + 1);
    switch (Random() % 9) {
        case 0:  // bit flip
            if (!data.empty()) data[Below(data.size())] ^= static_cast<char>(1u << Below(8));
            break;
        case 1:  // random byte
            if (!data.empty()) data[Below(data.size())] = static_cast<char>(Random());
            break;
        case 2:  // interesting byte inserted
            data.insert(pos, 1, kInteresting[Below(sizeof(kInteresting))]);
            break;
        case 3: {  // delete a range
            if (data.empty()) break;
            const size_t at = Below(data.size());
            data.erase(at, 1 + Below(std::min<size_t>(data.size() - at, 64)));
            break;
        }
        case 4:  // a token of the format
        case 5:
            if (!m_tokens.empty()) data.insert(pos, m_tokens[Below(m_tokens.size())]);
            break;
        case 6: {  // splice a slice of another seed
            const std::string& other = m_seeds[Below(m_seeds.size())];
            if (other.empty()) break;
            const size_t from = Below(other.size());
            data.insert(pos, other, from, 1 + Below(other.size() - from));
            break;
        }
        case 7: {  // a long run
            static const size_t kRuns[] = {255, 256, 257, 260, 520, 1024, 5000, 10000, 20000};
            const char c = Random() & 1 ? 'A' : kInteresting[Below(sizeof(kInteresting))];
            data.insert(pos, std::min(m_longestRun, kRuns[Below(sizeof(kRuns) / sizeof(kRuns[0]))]), c);
            break;
        }
        default: {  // duplicate a range
            if (data.empty()) break;
            const size_t at = Below(data.size());
            data.insert(pos, data.substr(at, 1 + Below(std::min<size_t>(data.size() - at, 256))));
            break;
        }
    }
    if (data.size() > kMaxInputSize) data.resize(kMaxInputSize);
}

std::string CMutator::Next() {
    // Mostly fresh from a seed, sometimes building on the previous input to go deeper.
    std::string data = (!m_last.empty() && Random() % 4 == 0) ? m_last : m_seeds[Below(m_seeds.size())];
    const size_t rounds = 1 + Below(8);
    for (size_t i = 0; i < rounds; ++i) MutateOnce(data);
    m_last = data;
    return data;
}

}  // namespace twfuzz
