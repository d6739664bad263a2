// Deterministic benchmark data: English-like prose, and a mixed set of
// low-redundancy records. Same bytes on every run and every machine.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace corpus {

class Lcg {
public:
    explicit Lcg(uint32_t seed) : state_(seed) {}
    uint32_t Next()
    {
        state_ = state_ * 1103515245u + 12345u;
        return state_ >> 8;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }

private:
    uint32_t state_;
};

// Prose from a word list with a skewed choice of words, capitals, commas,
// sentences and paragraphs: compresses about like ordinary English text.
inline std::vector<uint8_t> EnglishText(size_t size, uint32_t seed = 1)
{
    static const char* const kWords[] = {
        "the", "of", "and", "to", "a", "in", "that", "is", "was", "he", "for", "it", "with", "as", "his", "on",
        "be", "at", "by", "I", "this", "had", "not", "are", "but", "from", "or", "have", "an", "they", "which",
        "one", "you", "were", "her", "all", "she", "there", "would", "their", "we", "him", "been", "has", "when",
        "who", "will", "more", "no", "if", "out", "so", "said", "what", "up", "its", "about", "into", "than",
        "them", "can", "only", "other", "new", "some", "could", "time", "these", "two", "may", "then", "do",
        "first", "any", "my", "now", "such", "like", "our", "over", "man", "me", "even", "most", "made", "after",
        "also", "did", "many", "before", "must", "through", "back", "years", "where", "much", "your", "way",
        "well", "down", "should", "because", "each", "just", "those", "people", "how", "too", "little", "state",
        "good", "very", "make", "world", "still", "own", "see", "men", "work", "long", "get", "here", "between",
        "both", "life", "being", "under", "never", "day", "same", "another", "know", "while", "last", "might",
        "us", "great", "old", "year", "off", "come", "since", "against", "go", "came", "right", "used", "take",
        "three", "lantern", "harbour", "morning", "village", "river", "question", "government", "children",
        "remember", "different", "quietly", "mountain", "evening", "window", "letter", "journey", "silver",
        "winter", "garden", "distance", "whisper", "machine", "country", "history", "thought", "nothing",
    };
    constexpr uint32_t kCount = sizeof kWords / sizeof kWords[0];
    Lcg rng(seed);
    std::string text;
    bool capital = true;
    while (text.size() < size) {
        // Squaring a uniform choice favours the common words at the front.
        const uint32_t r = rng.Below(kCount);
        std::string word = kWords[r * r / kCount];
        if (capital)
            word[0] = static_cast<char>(word[0] >= 'a' && word[0] <= 'z' ? word[0] - 32 : word[0]);
        capital = false;
        text += word;
        const uint32_t p = rng.Below(100);
        if (p < 6) {
            text += ". ";
            capital = true;
            if (rng.Below(8) == 0)
                text += "\r\n\r\n";
        } else if (p < 11) {
            text += ", ";
        } else {
            text += ' ';
        }
    }
    text.resize(size);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Low-redundancy mix: random bytes, noisy sensor-style integers, short records
// with random fields, and small-alphabet runs, interleaved in blocks.
inline std::vector<uint8_t> MixedData(size_t size, uint32_t seed = 2)
{
    Lcg rng(seed);
    std::vector<uint8_t> out;
    out.reserve(size + 256);
    int32_t level = 1000;
    while (out.size() < size) {
        const uint32_t block = 64 + rng.Below(512);
        switch (rng.Below(4)) {
        case 0:
            for (uint32_t i = 0; i < block; ++i)
                out.push_back(static_cast<uint8_t>(rng.Next()));
            break;
        case 1:
            for (uint32_t i = 0; i < block / 2; ++i) {
                level += static_cast<int32_t>(rng.Below(41)) - 20;
                out.push_back(static_cast<uint8_t>(level));
                out.push_back(static_cast<uint8_t>(level >> 8));
            }
            break;
        case 2:
            for (uint32_t i = 0; i < block / 16; ++i) {
                char record[32];
                const int n = std::snprintf(record, sizeof record, "%05u;%c%c;%6.2f\n", rng.Below(100000),
                                            'A' + rng.Below(26), 'A' + rng.Below(26), rng.Below(100000) / 100.0);
                out.insert(out.end(), record, record + n);
            }
            break;
        default:
            for (uint32_t i = 0; i < block; ++i)
                out.push_back(static_cast<uint8_t>("ACGT"[rng.Below(4)]));
            break;
        }
    }
    out.resize(size);
    return out;
}

}  // namespace corpus
