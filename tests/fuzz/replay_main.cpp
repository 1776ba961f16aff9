// Replays a fuzz target without a fuzzing engine, so that every build can run it in ctest:
// each file of the corpus folder as it is, then a fixed series of pseudo-random mutations of
// them (byte changes, insertions, deletions, splices and tokens of the dictionary). The series
// depends only on the corpus, the dictionary and the count, so a failure repeats exactly.
//   replay CORPUS_FOLDER [DICTIONARY] [MUTATIONS]
// A broken invariant aborts inside the target; an empty or missing corpus is a failure too.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

typedef std::vector<std::uint8_t> Bytes;

bool readFile(const std::filesystem::path& path, Bytes& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Tokens of a libFuzzer dictionary: lines `name="value"` or `"value"`, with \\, \" and \xNN
// escapes; '#' starts a comment line.
std::vector<Bytes> readDictionary(const std::filesystem::path& path)
{
    std::vector<Bytes> tokens;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t open = line.find('"');
        const std::size_t close = line.rfind('"');
        if (line.empty() || line[0] == '#' || open == std::string::npos || close <= open)
            continue;
        Bytes token;
        for (std::size_t i = open + 1; i < close; ++i) {
            if (line[i] == '\\' && i + 1 < close) {
                if (line[i + 1] == 'x' && i + 3 < close && hexValue(line[i + 2]) >= 0 &&
                    hexValue(line[i + 3]) >= 0) {
                    token.push_back(static_cast<std::uint8_t>(hexValue(line[i + 2]) * 16 +
                                                              hexValue(line[i + 3])));
                    i += 3;
                } else {
                    token.push_back(static_cast<std::uint8_t>(line[++i]));
                }
            } else {
                token.push_back(static_cast<std::uint8_t>(line[i]));
            }
        }
        if (!token.empty())
            tokens.push_back(token);
    }
    return tokens;
}

// xorshift64*: small, fast and the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state(seed != 0 ? seed : 1) {}
    std::uint64_t next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 2685821657736338717ull;
    }
    // A number from 0 to n - 1; n > 0.
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

private:
    std::uint64_t state;
};

// Bytes that sit on the edges of what the parsers tell apart.
const std::uint8_t interesting[] = {0x00, 0x20, 0x2C, 0x2F, 0x30, 0x39, 0x3A, 0x40, 0x41,
                                    0x43, 0x5A, 0x5B, 0x60, 0x61, 0x63, 0x7A, 0x7B, 0x7E,
                                    0x7F, 0x80, 0x81, 0x9F, 0xA1, 0xE0, 0xFE, 0xFF};

constexpr std::size_t MaxInput = 4096;

void mutate(Bytes& data, const std::vector<Bytes>& corpus, const std::vector<Bytes>& tokens,
            Random& random)
{
    switch (random.below(8)) {
    case 0: // change one byte
        if (!data.empty())
            data[random.below(data.size())] = static_cast<std::uint8_t>(random.next());
        break;
    case 1: // put an interesting byte somewhere
        if (!data.empty())
            data[random.below(data.size())] = interesting[random.below(sizeof interesting)];
        break;
    case 2: // insert a byte
        data.insert(data.begin() + static_cast<std::ptrdiff_t>(random.below(data.size() + 1)),
                    static_cast<std::uint8_t>(random.next()));
        break;
    case 3: // delete a run of bytes
        if (!data.empty()) {
            const std::size_t at = random.below(data.size());
            const std::size_t n = 1 + random.below(std::min<std::size_t>(4, data.size() - at));
            data.erase(data.begin() + static_cast<std::ptrdiff_t>(at),
                       data.begin() + static_cast<std::ptrdiff_t>(at + n));
        }
        break;
    case 4: // insert or overwrite with a dictionary token
    case 5:
        if (!tokens.empty()) {
            const Bytes& token = tokens[random.below(tokens.size())];
            const std::size_t at = random.below(data.size() + 1);
            if (random.below(2) == 0 || at + token.size() > data.size()) {
                data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), token.begin(),
                            token.end());
            } else {
                std::copy(token.begin(), token.end(),
                          data.begin() + static_cast<std::ptrdiff_t>(at));
            }
        }
        break;
    case 6: { // splice: this input's head, another one's tail
        const Bytes& other = corpus[random.below(corpus.size())];
        const std::size_t head = random.below(data.size() + 1);
        const std::size_t tail = random.below(other.size() + 1);
        data.resize(head);
        data.insert(data.end(), other.begin() + static_cast<std::ptrdiff_t>(tail), other.end());
        break;
    }
    default: // repeat a digit or duplicate a byte, which stretches numbers and names
        if (!data.empty()) {
            const std::size_t at = random.below(data.size());
            data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), 1 + random.below(12),
                        data[at]);
        }
        break;
    }
    if (data.size() > MaxInput)
        data.resize(MaxInput);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER [DICTIONARY] [MUTATIONS]\n", argv[0]);
        return 2;
    }
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1], error)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    if (error || files.empty()) {
        std::fprintf(stderr, "replay: no corpus files in %s\n", argv[1]);
        return 1;
    }
    std::sort(files.begin(), files.end()); // the same order, so the same mutations, everywhere

    std::vector<Bytes> corpus;
    for (const auto& path : files) {
        Bytes data;
        if (!readFile(path, data)) {
            std::fprintf(stderr, "replay: cannot read %s\n", path.string().c_str());
            return 1;
        }
        LLVMFuzzerTestOneInput(data.data(), data.size());
        corpus.push_back(data);
    }

    const std::vector<Bytes> tokens =
        argc >= 3 && argv[2][0] != '\0' ? readDictionary(argv[2]) : std::vector<Bytes>();
    const long mutations = argc >= 4 ? std::strtol(argv[3], nullptr, 10) : 5000;

    Random random(0x4B4F4D564153ull); // "KOMVAS"
    for (long i = 0; i < mutations; ++i) {
        Bytes data = corpus[random.below(corpus.size())];
        const std::size_t rounds = 1 + random.below(4);
        for (std::size_t r = 0; r < rounds; ++r)
            mutate(data, corpus, tokens, random);
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("replay: %zu corpus files, %zu dictionary tokens, %ld mutations, no fault\n",
                corpus.size(), tokens.size(), mutations);
    return 0;
}
